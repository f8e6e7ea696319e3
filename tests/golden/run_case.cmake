# Runs one golden case (see golden.cmake) and compares, or regenerates it.
#   cmake -DPCISIM=<program> -DCASE=<case folder> -DOUT=<scratch folder>
#         [-DREGENERATE=ON] [-DDESIGN=<design file>] -P run_case.cmake
# The program runs from its own folder as ./<name>, so the path that the help
# text prints does not depend on where the build lives. A case with input
# files of its own (anything besides args, stdout, stderr and status, such as
# a design file) runs in OUT, which holds copies of them, so its arguments
# and messages name them by their own names. DESIGN puts "--design <file>"
# in front of the arguments (the case must give the same bytes).
cmake_minimum_required(VERSION 3.25)

set(args "")
if(EXISTS ${CASE}/args)
  file(STRINGS ${CASE}/args args)
endif()
if(DEFINED DESIGN)
  list(PREPEND args --design ${DESIGN})
endif()

get_filename_component(program_dir ${PCISIM} DIRECTORY)
get_filename_component(program_name ${PCISIM} NAME)
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
file(GLOB inputs ${CASE}/*)
list(FILTER inputs EXCLUDE REGEX "/(args|stdout|stderr|status)$")
set(command ./${program_name})
set(directory ${program_dir})
if(inputs)
  file(COPY ${inputs} DESTINATION ${OUT})
  set(command ${PCISIM})
  set(directory ${OUT})
endif()
execute_process(
  COMMAND ${command} ${args}
  WORKING_DIRECTORY ${directory}
  OUTPUT_FILE ${OUT}/stdout
  ERROR_VARIABLE errors
  RESULT_VARIABLE status)

if(REGENERATE OR "$ENV{PCISIM_REGENERATE_GOLDEN}")
  if(DEFINED DESIGN)
    return()
  endif()
  file(COPY_FILE ${OUT}/stdout ${CASE}/stdout)
  file(WRITE ${CASE}/status "${status}\n")
  if(NOT errors STREQUAL "")
    file(WRITE ${CASE}/stderr "${errors}")
  endif()
  message(STATUS "regenerated ${CASE} (status ${status})")
  return()
endif()

set(failures "")
set(expected_errors "")
if(EXISTS ${CASE}/stderr)
  file(READ ${CASE}/stderr expected_errors)
endif()
if(NOT errors STREQUAL expected_errors)
  string(APPEND failures "standard error differs:\n${errors}\nexpected:\n${expected_errors}\n")
endif()
file(STRINGS ${CASE}/status expected_status LIMIT_COUNT 1)
if(NOT status STREQUAL expected_status)
  string(APPEND failures "exit status ${status}, expected ${expected_status}\n")
endif()
file(READ ${CASE}/stdout expected HEX)
file(READ ${OUT}/stdout actual HEX)
if(NOT actual STREQUAL expected)
  string(APPEND failures "standard output differs from ${CASE}/stdout\n")
  find_program(DIFF diff)
  if(DIFF)
    execute_process(
      COMMAND ${DIFF} --text -u ${CASE}/stdout ${OUT}/stdout
      COMMAND head -n 40
      OUTPUT_VARIABLE difference)
    string(APPEND failures "${difference}")
  endif()
endif()
if(NOT failures STREQUAL "")
  message(FATAL_ERROR "golden case ${CASE}:\n${failures}")
endif()
