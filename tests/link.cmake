# The serial link and the port probe on real pseudo-terminals, as plain
# programs (the link waits in the plain event loop); the link in Qt's event
# loop; the component's open/close sequence.
kv_plain_test(test_serial_link kv508linktestsupport test_serial_link.cpp)
kv_plain_test(test_port_probe kv508linktestsupport test_port_probe.cpp)

# Its own main with a QCoreApplication: the Qt host needs no GUI.
add_executable(test_qt_wait_host test_qt_wait_host.cpp)
target_link_libraries(test_qt_wait_host PRIVATE kv508linkqt kv508linktestsupport Qt6::Test GTest::gtest)
target_compile_options(test_qt_wait_host PRIVATE ${KV_WARNINGS})
add_test(NAME test_qt_wait_host COMMAND test_qt_wait_host)
set_tests_properties(test_qt_wait_host PROPERTIES
  ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
  TIMEOUT 120)

kv_test(test_open_close test_open_close.cpp)

# The link and the probe stay free of Qt: no Qt header in their sources (the Qt
# host aside), no Qt library in the programs that test them.
add_test(NAME test_link_without_qt
  COMMAND sh -c "! grep -rln '#include <Q' --include=*.h --include=*.cpp '${CMAKE_SOURCE_DIR}/comm/link' | grep -v '/qt/' && ! ldd '$<TARGET_FILE:test_serial_link>' '$<TARGET_FILE:test_port_probe>' | grep -i qt")

# The protocol core and the plain loop name no Qt header; the simulator runs
# without Qt Gui and Qt Widgets.
add_test(NAME test_core_and_sim_without_gui
  COMMAND sh -c "! grep -rln '#include <Q' --include=*.h --include=*.cpp '${CMAKE_SOURCE_DIR}/comm/core' '${CMAKE_SOURCE_DIR}/comm/loop' && ! ldd '$<TARGET_FILE:kv508-sim>' | grep -E 'libQt6(Gui|Widgets)'")
