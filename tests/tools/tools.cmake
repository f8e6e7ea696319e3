# The Python suite of tools/ (tools/pcisim-sweep) as one CTest test, run
# against the pcisim just built.
add_test(NAME tools.sweep
  COMMAND /usr/bin/python3 -m unittest discover -s ${CMAKE_SOURCE_DIR}/tests/tools -v)
set_tests_properties(tools.sweep PROPERTIES
  ENVIRONMENT PCISIM=$<TARGET_FILE:pcisim>
  TIMEOUT 900)

# tools/pcisim-report: its figures, inputs and pages read back (tools.report),
# and the pages in headless Chromium with the network blocked (tools.report_browser).
add_test(NAME tools.report
  COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/tools/report_test.py -v)
add_test(NAME tools.report_browser
  COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/tools/report_browser_test.py -v)
set_tests_properties(tools.report tools.report_browser PROPERTIES
  ENVIRONMENT PCISIM=$<TARGET_FILE:pcisim>
  TIMEOUT 600)
