# The rulebook's counts of the default run against a count made from its
# waveform by a script of its own, and standard output unchanged by it.
if(TARGET pcisim)
  add_test(NAME compliance.default_run_waveform
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/count_from_waveform.py
      $<TARGET_FILE:pcisim> ${CMAKE_CURRENT_BINARY_DIR}/compliance)
  set_tests_properties(compliance.default_run_waveform PROPERTIES TIMEOUT 300)
endif()
