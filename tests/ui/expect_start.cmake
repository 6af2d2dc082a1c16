# Starts a program without a display and checks its exit status and what it says: on standard
# output when it succeeds, on standard error otherwise.
# cmake -DPROGRAM=path -DARGUMENTS=a|b -DSTATUS=0 -DSAYS=regex -P expect_start.cmake
string(REPLACE "|" ";" arguments "${ARGUMENTS}")
unset(ENV{DISPLAY})
unset(ENV{WAYLAND_DISPLAY})
unset(ENV{QT_QPA_PLATFORM})
execute_process(COMMAND ${PROGRAM} ${arguments} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err
  TIMEOUT 30)
if(NOT status STREQUAL STATUS)
  message(FATAL_ERROR "exit status ${status}, expected ${STATUS}\nstdout: ${out}\nstderr: ${err}")
endif()
if(STATUS EQUAL 0)
  set(said "${out}")
else()
  set(said "${err}")
endif()
if(NOT said MATCHES "${SAYS}")
  message(FATAL_ERROR "expected \"${SAYS}\"\nstdout: ${out}\nstderr: ${err}")
endif()
