# Runs of the program whose standard output cannot be written (see run_case.cmake).
if(TARGET pcisim)
  foreach(case "full|-s" "full|-x" "full|-c;-cl100" "closed|" "closed|-h")
    string(REPLACE "|" ";" parts "${case}")
    list(POP_FRONT parts target)
    string(REPLACE ";" "_" name "${target}${parts}")
    add_test(NAME output_errors.${name}
      COMMAND ${CMAKE_COMMAND} -DPCISIM=$<TARGET_FILE:pcisim> "-DARGS=${parts}"
        -DSTDOUT=${target} -P ${CMAKE_CURRENT_LIST_DIR}/run_case.cmake)
  endforeach()
endif()
