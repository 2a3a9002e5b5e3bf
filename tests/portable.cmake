# The portable libraries on their own: the core, the engine against a plain
# fake link, the plain event loop. Built for Linux and for Windows.
kv_plain_test(test_core_plain kv508core test_core_protocol.cpp test_core_payload.cpp)

# The engine's behaviour, on the core alone: the fake link and frame builders
# in std types, no toolkit.
add_library(kv508plaintestsupport STATIC
  support/PlainFakeLink.h
  support/PlainFakeLink.cpp
  support/FakeLinkOf.h
  support/PlainFrames.h
  support/EngineTestPeer.h
  support/RecordingView.h
)
target_include_directories(kv508plaintestsupport PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/support ${KV_CORE_INTERNAL_DIR})
target_link_libraries(kv508plaintestsupport PUBLIC kv508core)
target_compile_options(kv508plaintestsupport PRIVATE ${KV_WARNINGS})
set_target_properties(kv508plaintestsupport PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)

kv_plain_test(test_engine kv508plaintestsupport
  engine/test_properties.cpp
  engine/test_payload.cpp
  engine/test_frame.cpp
  engine/test_master_cycle.cpp
  engine/test_master_receive.cpp
  engine/test_slave_modes.cpp
  engine/test_single_byte_name.cpp
)
kv_plain_test(test_event_loop kv508asio test_event_loop.cpp)
