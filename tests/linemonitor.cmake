# The line monitor window: its model fed by the window's own traffic on the
# fake link, the ring and filters, the text and CSV output.
kv_test(test_line_monitor test_line_monitor.cpp test_app_support.h)
target_link_libraries(test_line_monitor PRIVATE kv508app)
target_compile_definitions(test_line_monitor PRIVATE KV508_SIM_PATH="$<TARGET_FILE:kv508-sim>")
add_dependencies(test_line_monitor kv508-sim)

# Takes docs/line-monitor.png beside the window polling a faulty simulator;
# run it under a display: xvfb-run -a build/tests/monitor_screenshot docs
add_executable(monitor_screenshot test_monitor_screenshot.cpp test_app_sim.h)
target_link_libraries(monitor_screenshot PRIVATE kv508app Qt6::Test)
target_compile_options(monitor_screenshot PRIVATE ${KV_WARNINGS})
target_compile_definitions(monitor_screenshot PRIVATE KV508_SIM_PATH="$<TARGET_FILE:kv508-sim>")
add_dependencies(monitor_screenshot kv508-sim)
