# Whole-program golden cases. Every folder next to this file is one run of the
# simulator executable:
#   args    the arguments, one per line (empty lines are ignored; may be absent)
#   stdout  the expected standard output, byte for byte
#   status  the expected exit status
#   stderr  the expected standard error, byte for byte (absent: none)
#   other files are inputs the arguments name (a design file, say)
# Each case is one CTest test, golden.<folder>. To rewrite the expected files
# from the current program, run the cases with PCISIM_REGENERATE_GOLDEN=1 in
# the environment (or configure with -DPCISIM_REGENERATE_GOLDEN=ON) and review
# the result with git diff.
if(TARGET pcisim)
  option(PCISIM_REGENERATE_GOLDEN "Golden cases rewrite their expected output" OFF)
  file(GLOB golden_cases LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*)
  foreach(case_dir ${golden_cases})
    if(IS_DIRECTORY ${case_dir})
      get_filename_component(case ${case_dir} NAME)
      add_test(NAME golden.${case}
        COMMAND ${CMAKE_COMMAND}
          -DPCISIM=$<TARGET_FILE:pcisim>
          -DCASE=${case_dir}
          -DOUT=${CMAKE_CURRENT_BINARY_DIR}/golden/${case}
          -DREGENERATE=${PCISIM_REGENERATE_GOLDEN}
          -P ${CMAKE_CURRENT_LIST_DIR}/run_case.cmake)
      # The same bytes with the built-in design read from its file first
      # (cases of the design file's own errors excepted: they name it).
      file(GLOB case_inputs ${case_dir}/*.toml ${case_dir}/stderr)
      if(NOT case_inputs)
        add_test(NAME golden_builtin_design.${case}
          COMMAND ${CMAKE_COMMAND}
            -DPCISIM=$<TARGET_FILE:pcisim>
            -DCASE=${case_dir}
            -DOUT=${CMAKE_CURRENT_BINARY_DIR}/golden_builtin_design/${case}
            -DDESIGN=${CMAKE_SOURCE_DIR}/examples/designs/builtin.toml
            -P ${CMAKE_CURRENT_LIST_DIR}/run_case.cmake)
      endif()
    endif()
  endforeach()
endif()
