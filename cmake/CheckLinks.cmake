# cmake -D PROGRAM=FILE -D NEEDS=a;b -D SHUNS=c;d -P CheckLinks.cmake: fails unless the
# program's own dynamic dependencies name every library in NEEDS and none in SHUNS. Run after
# each program is linked (src/app), so a library that pulls in what a program must not carry
# fails the build. Its own dependencies, not ldd's closure: Debian's libdbus (under QtGui)
# needs libsystemd whoever links it.
execute_process(COMMAND readelf --dynamic "${PROGRAM}" OUTPUT_VARIABLE dynamic
                COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[[^]]+\\]" needed "${dynamic}")
string(REGEX REPLACE "[^;]*\\[([^]]+)\\]" "\\1" needed "${needed}")
foreach(library IN LISTS NEEDS)
  if(NOT needed MATCHES "(^|;)${library}[.]")
    message(FATAL_ERROR "${PROGRAM} does not link ${library}: ${needed}")
  endif()
endforeach()
foreach(library IN LISTS SHUNS)
  if(needed MATCHES "(^|;)${library}[.]")
    message(FATAL_ERROR "${PROGRAM} links ${library}: ${needed}")
  endif()
endforeach()
