# The Win32 link and probe against a real COM port: under Wine, a port that
# scripts/test-windows maps to the simulator's pseudo-terminal. Without
# KV508_TEST_PORT the cases skip.
kv_plain_test(test_win32_link kv508asio win32/test_win32_link.cpp)
target_include_directories(test_win32_link PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/support)
