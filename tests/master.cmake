kv_test(test_master test_master_realtime.cpp)
