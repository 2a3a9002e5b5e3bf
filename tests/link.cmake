# The serial link and the port probe on real pseudo-terminals, as plain
# programs (the link waits in the plain event loop); the link in Qt's event
# loop; the component's open/close sequence.
kv_plain_test(test_serial_link kv508linktestsupport test_serial_link.cpp)
kv_plain_test(test_port_probe kv508linktestsupport test_port_probe.cpp)

# Its own main with a QCoreApplication: the Qt host needs no GUI.
add_executable(test_qt_wait_host test_qt_wait_host.cpp)
target_link_libraries(test_qt_wait_host PRIVATE kv508qt kv508linktestsupport Qt6::Test GTest::gtest)
target_compile_options(test_qt_wait_host PRIVATE ${KV_WARNINGS})
add_test(NAME test_qt_wait_host COMMAND test_qt_wait_host)
set_tests_properties(test_qt_wait_host PROPERTIES
  ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
  TIMEOUT 120)

kv_test(test_open_close test_open_close.cpp)

# Each folder of comm/ includes only what its host allows (tools/check-includes.sh);
# the programs that test the link load no Qt, the simulator no Qt Gui or Widgets.
add_test(NAME test_comm_includes COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/tools/check-includes.sh ${CMAKE_SOURCE_DIR})
add_test(NAME test_link_without_qt
  COMMAND sh -c "! ldd '$<TARGET_FILE:test_serial_link>' '$<TARGET_FILE:test_port_probe>' | grep -i qt")
add_test(NAME test_core_and_sim_without_gui
  COMMAND sh -c "! ldd '$<TARGET_FILE:kv508-sim>' | grep -E 'libQt6(Gui|Widgets)'")

# No product source file over 700 lines, no function over 120 (tools/check-sizes.sh).
find_program(KV_CTAGS ctags)
if(KV_CTAGS)
  add_test(NAME test_source_sizes COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/tools/check-sizes.sh ${CMAKE_SOURCE_DIR})
endif()
