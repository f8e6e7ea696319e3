# The Python suite of tools/ (tools/pcisim-sweep) as one CTest test, run
# against the pcisim just built.
add_test(NAME tools.sweep
  COMMAND /usr/bin/python3 -m unittest discover -s ${CMAKE_SOURCE_DIR}/tests/tools -v)
set_tests_properties(tools.sweep PROPERTIES
  ENVIRONMENT PCISIM=$<TARGET_FILE:pcisim>
  TIMEOUT 900)
