kv_test(test_master test_master_cycle.cpp test_master_receive.cpp)
