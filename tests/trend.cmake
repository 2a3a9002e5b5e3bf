# The live trend: its history and CSV log on their own (Qt Core), and the
# window following the form's polls on the fake link.
kv_plain_test(test_trend_history kv508trend test_trend_history.cpp)

kv_test(test_live_trend test_live_trend.cpp test_app_support.h)
target_link_libraries(test_live_trend PRIVATE kv508app)

# Takes docs/live-trend.png beside the polling window; run it under a display:
# xvfb-run -a build/tests/trend_screenshot docs
add_executable(trend_screenshot test_trend_screenshot.cpp test_app_sim.h)
target_link_libraries(trend_screenshot PRIVATE kv508app Qt6::Test)
target_compile_options(trend_screenshot PRIVATE ${KV_WARNINGS})
target_compile_definitions(trend_screenshot PRIVATE KV508_SIM_PATH="$<TARGET_FILE:kv508-sim>")
add_dependencies(trend_screenshot kv508-sim)
