# corvane_include_root(TARGET): TARGET's headers, by their path from src/
# ("core/link/SerialLink.h"), for TARGET and for what links it. The include root TARGET
# exports holds its own folder of src/ alone (a link to it in the build tree), so a file that
# includes from a library its own does not link is refused by the compiler, at every build.
function(corvane_include_root target)
  get_target_property(dir ${target} SOURCE_DIR)
  file(RELATIVE_PATH folder "${CORVANE_SOURCE_ROOT}" "${dir}")
  if(folder MATCHES "/" OR folder MATCHES "^\\.\\." OR folder STREQUAL "")
    message(FATAL_ERROR "${target}: a library of src/ is defined in its own top folder")
  endif()
  set(root "${CMAKE_BINARY_DIR}/include/${folder}")
  file(MAKE_DIRECTORY "${root}")
  file(CREATE_LINK "${CORVANE_SOURCE_ROOT}/${folder}" "${root}/${folder}" SYMBOLIC)
  target_include_directories(${target} PUBLIC "${root}")
endfunction()
