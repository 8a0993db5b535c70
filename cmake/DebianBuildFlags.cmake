# CORVANE_DPKG_BUILDFLAGS: compile and link the whole tree with the flags Debian builds its own
# packages with, every hardening feature on (stack protector, _FORTIFY_SOURCE, format-security,
# full RELRO with BIND_NOW, PIE), as dpkg-buildflags gives them on this machine. The package
# preset sets it, and so does the strict one, so the suite runs on the code as it is shipped.
#
# The flags go into CMAKE_<LANG>_FLAGS and the linker flags, as debhelper would pass them, so
# every object gets them, Qt's generated resource objects included. Qt 6 adds -fPIC to its
# users' compile lines after these (it is built with reduce-relocations); on architectures
# where dpkg-buildflags asks for -fPIE, that later -fPIC still wins and the link stays -pie.
# Release keeps only -DNDEBUG: dpkg-buildflags sets the optimisation (-O2), not CMake's -O3.

option(CORVANE_DPKG_BUILDFLAGS "Build with dpkg-buildflags' flags, hardening=+all" OFF)
if(NOT CORVANE_DPKG_BUILDFLAGS)
  return()
endif()

find_program(CORVANE_DPKG_BUILDFLAGS_EXE dpkg-buildflags)
if(NOT CORVANE_DPKG_BUILDFLAGS_EXE)
  message(FATAL_ERROR "CORVANE_DPKG_BUILDFLAGS needs dpkg-buildflags: apt-get install dpkg-dev")
endif()

# Run from the source tree: the -ffile-prefix-map it adds maps the current directory.
foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
            ${CORVANE_DPKG_BUILDFLAGS_EXE} --get ${kind}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE dpkg_${kind} ERROR_VARIABLE error RESULT_VARIABLE result
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed (${result}): ${error}")
  endif()
endforeach()
message(STATUS "dpkg-buildflags: CPPFLAGS ${dpkg_CPPFLAGS}; CXXFLAGS ${dpkg_CXXFLAGS}; "
               "LDFLAGS ${dpkg_LDFLAGS}")

# Normal variables over the cache entries, so that configuring again does not add them twice.
string(APPEND CMAKE_CXX_FLAGS " ${dpkg_CPPFLAGS} ${dpkg_CXXFLAGS}")
foreach(kind EXE SHARED MODULE)
  string(APPEND CMAKE_${kind}_LINKER_FLAGS " ${dpkg_LDFLAGS}")
endforeach()
set(CMAKE_CXX_FLAGS_RELEASE "-DNDEBUG")
