# Runs one golden case (see golden.cmake) and compares, or regenerates it.
#   cmake -DPCISIM=<program> -DCASE=<case folder> -DOUT=<scratch folder>
#         [-DREGENERATE=ON] -P run_case.cmake
# The program runs from its own folder as ./<name>, so the path that the help
# text prints does not depend on where the build lives.
cmake_minimum_required(VERSION 3.25)

set(args "")
if(EXISTS ${CASE}/args)
  file(STRINGS ${CASE}/args args)
endif()

get_filename_component(program_dir ${PCISIM} DIRECTORY)
get_filename_component(program_name ${PCISIM} NAME)
file(MAKE_DIRECTORY ${OUT})
execute_process(
  COMMAND ./${program_name} ${args}
  WORKING_DIRECTORY ${program_dir}
  OUTPUT_FILE ${OUT}/stdout
  ERROR_VARIABLE errors
  RESULT_VARIABLE status)

if(REGENERATE OR "$ENV{PCISIM_REGENERATE_GOLDEN}")
  file(COPY_FILE ${OUT}/stdout ${CASE}/stdout)
  file(WRITE ${CASE}/status "${status}\n")
  message(STATUS "regenerated ${CASE} (status ${status})")
  return()
endif()

set(failures "")
if(NOT errors STREQUAL "")
  string(APPEND failures "unexpected standard error output:\n${errors}\n")
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
