# One check of designs.cmake:
#   cmake -DPCISIM=<program> -DMODE=builtin|round_trip -DDESIGN=<file> -DOUT=<folder>
#         -P check_design.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})

# Runs the program with the arguments given, stopping after the dump of
# its second cycle (a run setting, not a part of the design);
# fails on any status but 0 or any standard error output.
function(pcisim)
  execute_process(COMMAND ${PCISIM} -cl1 -cr0 -cs ${ARGN}
    OUTPUT_QUIET ERROR_VARIABLE errors RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT errors STREQUAL "")
    message(FATAL_ERROR "pcisim ${ARGN}: status ${status}\n${errors}")
  endif()
endfunction()

function(expect_same a b)
  file(READ ${a} first)
  file(READ ${b} second)
  if(NOT first STREQUAL second)
    execute_process(COMMAND diff -u ${a} ${b} OUTPUT_VARIABLE difference)
    message(FATAL_ERROR "${a} and ${b} differ:\n${difference}")
  endif()
endfunction()

if(MODE STREQUAL "builtin")
  pcisim(--write-design ${OUT}/written.toml)
  expect_same(${DESIGN} ${OUT}/written.toml)
  return()
endif()

pcisim(--design ${DESIGN} --write-design ${OUT}/first.toml)
pcisim(--design ${OUT}/first.toml --write-design ${OUT}/second.toml)
expect_same(${OUT}/first.toml ${OUT}/second.toml)
# Every key of every table is written, whatever the example left out.
file(READ ${OUT}/first.toml text)
foreach(key max_cycles policy transactions latency_timer latency_timer_expiry retry_overhead
    fast_back_to_back reads read_command write_command read_length write_length address gap
    initial_wait burst_wait decode_speed disconnect init_retry_threshold
    burst_retry_threshold retry_hint cards)
  if(NOT text MATCHES "\n${key} +=")
    message(FATAL_ERROR "${OUT}/first.toml has no ${key}")
  endif()
endforeach()
