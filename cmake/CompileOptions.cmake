# corvane_options: what every target of the project is compiled and linked with, the warnings
# and, in the sanitize and fuzz builds, the instrumentation. Each target links it (PRIVATE)
# instead of the options being set for the whole tree, so the flags travel with the targets
# and Qt's generated resource objects and imported targets stay as they are.
# Warnings as errors: CMAKE_COMPILE_WARNING_AS_ERROR (the strict preset sets it).

add_library(corvane_options INTERFACE)
target_compile_options(corvane_options INTERFACE -Wall -Wextra)

option(CORVANE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(CORVANE_SANITIZE)
  target_compile_options(corvane_options INTERFACE -fsanitize=address,undefined
                         -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(corvane_options INTERFACE -fsanitize=address,undefined)
endif()

# libFuzzer instrumentation for everything; the fuzz targets add libFuzzer's main (fuzz/).
option(CORVANE_FUZZ "Build the fuzz targets (clang only)" OFF)
if(CORVANE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "CORVANE_FUZZ needs clang, not ${CMAKE_CXX_COMPILER_ID} "
                        "(cmake --preset fuzz sets it)")
  endif()
  target_compile_options(corvane_options INTERFACE
                         -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  target_link_options(corvane_options INTERFACE -fsanitize=address,undefined)
endif()

# corvane_check_options(DIR): stops the configuration when an executable or library defined
# in DIR or below does not link corvane_options. Such a target would build without the
# warnings and, worse, run uninstrumented in the sanitize and fuzz builds with nobody noticing.
function(corvane_check_options dir)
  get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY)$")
      get_target_property(libraries ${target} LINK_LIBRARIES)
      if(NOT "corvane_options" IN_LIST libraries)
        message(FATAL_ERROR "${target} (${dir}) does not link corvane_options; add "
                            "target_link_libraries(${target} PRIVATE corvane_options)")
      endif()
    endif()
  endforeach()
  get_property(subdirectories DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(subdirectory IN LISTS subdirectories)
    corvane_check_options("${subdirectory}")
  endforeach()
endfunction()
