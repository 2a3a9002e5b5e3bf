# The serial link, its worker, the open/close sequence and the port probe, on
# real pseudo-terminals.
kv_test(test_serial_link test_serial_link.cpp)
kv_test(test_port_probe test_port_probe.cpp)
kv_test(test_open_close test_open_close.cpp)
