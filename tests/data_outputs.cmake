# The statistics document read back by real tools: validated against the
# schema kept with the exporter, and drawn by tools/plot-stats.
if(TARGET pcisim)
  add_test(NAME data.stats_schema_and_plot
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/data/check_stats.py
      $<TARGET_FILE:pcisim> ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/data)
endif()
