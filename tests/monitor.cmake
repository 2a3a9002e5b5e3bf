# The line monitor: framing, verdicts, decoding, formats and the spy link (on
# the plain engine and its fake link).
kv_plain_test(test_frame_monitor kv508monitor test_frame_monitor.cpp)
target_link_libraries(test_frame_monitor PRIVATE kv508plaintestsupport)
