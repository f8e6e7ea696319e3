# Byte identity of standard output and exit status against the program as it
# was before the speed work (commit f94797a), over the command lines of
# cases.txt: one line per case, "<sha256 of stdout> <status> <arguments...>".
#   check one case:  cmake -DPCISIM=<program> -DCASES=<cases.txt> -DCASE=<n> -P run_case.cmake
#   capture all:     cmake -DPCISIM=<old program> -DCASES=<cases.txt> -DARGS=<args.txt>
#                          -DOUT=<scratch folder> -P run_case.cmake
# The program runs from its own folder as ./<name>, as the golden cases do.
# With -DDESIGN=<design file> a case runs with "--design <file>" in front of
# its arguments and must give the same bytes.
cmake_minimum_required(VERSION 3.25)

get_filename_component(program_dir ${PCISIM} DIRECTORY)
get_filename_component(program_name ${PCISIM} NAME)

# Runs the program with the arguments of text (split at spaces) and sets
# hash and status in the caller.
function(run_program text)
  string(REPLACE " " ";" args "${text}")
  if(DEFINED DESIGN)
    list(PREPEND args --design ${DESIGN})
  endif()
  execute_process(
    COMMAND ./${program_name} ${args}
    WORKING_DIRECTORY ${program_dir}
    OUTPUT_FILE ${OUT}/stdout
    RESULT_VARIABLE code)
  file(SHA256 ${OUT}/stdout digest)
  set(hash ${digest} PARENT_SCOPE)
  set(status ${code} PARENT_SCOPE)
endfunction()

file(MAKE_DIRECTORY ${OUT})
if(DEFINED ARGS)
  file(STRINGS ${ARGS} lines)
  set(text "# Captured with run_case.cmake (capture mode) from the program built at f94797a.\n")
  string(APPEND text "# <sha256 of stdout> <exit status> <arguments>\n")
  foreach(line IN LISTS lines)
    run_program("${line}")
    string(APPEND text "${hash} ${status} ${line}\n")
  endforeach()
  file(WRITE ${CASES} "${text}")
  return()
endif()

file(STRINGS ${CASES} cases REGEX "^[0-9a-f]")
list(GET cases ${CASE} entry)
string(REGEX MATCH "^([0-9a-f]+) ([0-9]+) ?(.*)$" parsed "${entry}")
set(expected_hash ${CMAKE_MATCH_1})
set(expected_status ${CMAKE_MATCH_2})
set(line "${CMAKE_MATCH_3}")
run_program("${line}")
if(NOT hash STREQUAL expected_hash OR NOT status STREQUAL expected_status)
  message(FATAL_ERROR "pcisim ${line}: status ${status} (expected ${expected_status}), "
                      "stdout sha256 ${hash} (expected ${expected_hash})")
endif()
