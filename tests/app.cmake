# The main window: its logic and displays against a fake link.
kv_test(test_app test_app_window.cpp test_app_chain.cpp test_app_support.h)
target_link_libraries(test_app PRIVATE kv508app)

# End to end: the window on the real serial link against the simulator on a
# pseudo-terminal (the program, and its core where answers must be lost on purpose).
kv_test(test_app_e2e test_app_e2e.cpp test_app_sim.h test_app_drive.h)
target_link_libraries(test_app_e2e PRIVATE kv508app kv508simcore)
target_compile_definitions(test_app_e2e PRIVATE KV508_SIM_PATH="$<TARGET_FILE:kv508-sim>" KV508_APP_PATH="$<TARGET_FILE:kv508>")
add_dependencies(test_app_e2e kv508-sim kv508)

# Takes docs/user-page.png and docs/calibration-page.png while connected to the
# simulator; run it under a display: xvfb-run -a build/tests/app_screenshots docs
add_executable(app_screenshots test_app_screenshots.cpp test_app_sim.h)
target_link_libraries(app_screenshots PRIVATE kv508app Qt6::Test)
target_compile_options(app_screenshots PRIVATE ${KV_WARNINGS})
target_compile_definitions(app_screenshots PRIVATE KV508_SIM_PATH="$<TARGET_FILE:kv508-sim>")
add_dependencies(app_screenshots kv508-sim)
