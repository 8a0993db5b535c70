# Writes the test functions of a QtTest binary (EXE) to OUT, one per line.
execute_process(COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ${EXE} -functions
                OUTPUT_VARIABLE functions RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${EXE} -functions failed: ${rc}")
endif()
file(WRITE ${OUT} "${functions}")
