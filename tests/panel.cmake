kv_test(test_panel test_panel.cpp test_counters.cpp PanelTestPeer.h)

# Renders the panel, closed and open with traffic, into a PNG (docs/panel.png);
# scripts/screenshot-panel runs it.
add_executable(panel_screenshot tools/PanelScreenshot.cpp support/FakeLink.cpp)
target_include_directories(panel_screenshot PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/support ${KV_CORE_INTERNAL_DIR})
target_link_libraries(panel_screenshot PRIVATE kv508widget)
target_compile_options(panel_screenshot PRIVATE ${KV_WARNINGS})
