# Runs a program and checks its exit status; a failure (status not 0) must say why on
# standard error. cmake -DRUN=a|b|prog -DARGUMENTS=x|y -DSTATUS=2 -P expect_status.cmake
string(REPLACE "|" ";" command "${RUN}")
string(REPLACE "|" ";" arguments "${ARGUMENTS}")
execute_process(COMMAND ${command} ${arguments} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status STREQUAL STATUS)
  message(FATAL_ERROR "exit status ${status}, expected ${STATUS}\nstdout: ${out}\nstderr: ${err}")
endif()
if(NOT STATUS EQUAL 0 AND err STREQUAL "")
  message(FATAL_ERROR "exit status ${status} without a word on standard error\nstdout: ${out}")
endif()
message(STATUS "exit status ${status}\n${out}${err}")
