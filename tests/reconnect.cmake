# Coming back after a hang-up, and the adapter remembered across runs.
kv_test(test_reconnect test_reconnect.cpp)
target_link_libraries(test_reconnect PRIVATE kv508app)
