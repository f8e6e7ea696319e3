# An unwritable standard output fails the program: one line on standard error
# and exit status 1, also for a rejected option (whose status is 10 when its
# line can be written).
#   cmake -DPCISIM=<program> -DARGS=<arguments, ;-separated> -DSTDOUT=full|closed
#         -P run_case.cmake
cmake_minimum_required(VERSION 3.25)

if(STDOUT STREQUAL "full")
  set(redirect ">/dev/full")
else()
  set(redirect ">&-")
endif()
string(REPLACE ";" " " args "${ARGS}")
execute_process(
  COMMAND sh -c "exec \"$0\" ${args} ${redirect}" ${PCISIM}
  ERROR_VARIABLE errors
  RESULT_VARIABLE status)

if(STDOUT STREQUAL "full")
  set(reason "No space left on device")
else()
  set(reason "Bad file descriptor")
endif()
set(expected "pcisim: cannot write standard output: ${reason}\n")
if(NOT status STREQUAL "1" OR NOT errors STREQUAL expected)
  message(FATAL_ERROR "pcisim ${args} ${redirect}: status ${status}, standard error:\n${errors}")
endif()
