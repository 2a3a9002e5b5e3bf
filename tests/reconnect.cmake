# Coming back after a hang-up, and the adapter remembered across runs.
kv_test(test_reconnect test_reconnect.cpp)
target_link_libraries(test_reconnect PRIVATE kv508app)
# Two simulators behind the same adapter serial: another instrument on reconnect.
target_compile_definitions(test_reconnect PRIVATE KV508_SIM_PATH="$<TARGET_FILE:kv508-sim>")
add_dependencies(test_reconnect kv508-sim)
