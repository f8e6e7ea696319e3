# The example designs as the program reads and writes them:
#   designs.builtin_file      examples/designs/builtin.toml is, byte for byte,
#                             what --write-design writes without --design
#   designs.round_trip.<name> each example read and written, that text read
#                             and written again: the same bytes, and the
#                             written text keeps every key (no defaults left out)
if(TARGET pcisim)
  add_test(NAME designs.builtin_file
    COMMAND ${CMAKE_COMMAND} -DPCISIM=$<TARGET_FILE:pcisim> -DMODE=builtin
      -DDESIGN=${CMAKE_SOURCE_DIR}/examples/designs/builtin.toml
      -DOUT=${CMAKE_CURRENT_BINARY_DIR}/designs/builtin
      -P ${CMAKE_CURRENT_LIST_DIR}/check_design.cmake)
  file(GLOB example_designs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/examples/designs/*.toml)
  foreach(design ${example_designs})
    get_filename_component(name ${design} NAME_WE)
    add_test(NAME designs.round_trip.${name}
      COMMAND ${CMAKE_COMMAND} -DPCISIM=$<TARGET_FILE:pcisim> -DMODE=round_trip
        -DDESIGN=${design} -DOUT=${CMAKE_CURRENT_BINARY_DIR}/designs/${name}
        -P ${CMAKE_CURRENT_LIST_DIR}/check_design.cmake)
  endforeach()
endif()

# Random command lines, with and without the built-in design's file in front.
if(TARGET pcisim)
  add_test(NAME designs.differential_builtin
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/differential.py $<TARGET_FILE:pcisim>
      ${CMAKE_SOURCE_DIR}/examples/designs/builtin.toml 60)
endif()
