# Byte identity with the program before the speed work: one CTest test per
# line of cases.txt, identity.<n> (see run_case.cmake).
if(TARGET pcisim)
  file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/cases.txt identity_cases REGEX "^[0-9a-f]")
  list(LENGTH identity_cases identity_count)
  math(EXPR identity_last "${identity_count} - 1")
  foreach(n RANGE ${identity_last})
    add_test(NAME identity.${n}
      COMMAND ${CMAKE_COMMAND}
        -DPCISIM=$<TARGET_FILE:pcisim>
        -DCASES=${CMAKE_CURRENT_LIST_DIR}/cases.txt
        -DCASE=${n}
        -DOUT=${CMAKE_CURRENT_BINARY_DIR}/identity/${n}
        -P ${CMAKE_CURRENT_LIST_DIR}/run_case.cmake)
    # The same bytes with the built-in design read from its file first.
    add_test(NAME identity_builtin_design.${n}
      COMMAND ${CMAKE_COMMAND}
        -DPCISIM=$<TARGET_FILE:pcisim>
        -DCASES=${CMAKE_CURRENT_LIST_DIR}/cases.txt
        -DCASE=${n}
        -DOUT=${CMAKE_CURRENT_BINARY_DIR}/identity_builtin_design/${n}
        -DDESIGN=${CMAKE_SOURCE_DIR}/examples/designs/builtin.toml
        -P ${CMAKE_CURRENT_LIST_DIR}/run_case.cmake)
  endforeach()
endif()
