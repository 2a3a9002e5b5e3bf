# Slave, diagnostic, byte and string modes; the instrument simulator.
kv_test(test_slave_modes test_slave_realtime.cpp)
kv_test(test_instrument test_instrument.cpp)
target_link_libraries(test_instrument PRIVATE kv508simcore)
kv_test(test_sim test_sim.cpp)
target_link_libraries(test_sim PRIVATE kv508simcore)
target_compile_definitions(test_sim PRIVATE KV508_SIM_PATH="$<TARGET_FILE:kv508-sim>")
add_dependencies(test_sim kv508-sim)
