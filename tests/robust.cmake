# Robustness: faults of the line and of the user, and the soak of the window's
# chain against the simulator with injected faults. CI runs reduced counts;
# KV_SOAK_FULL=1 runs the documented full size (100,000 transactions).
kv_test(test_fault test_fault.cpp test_soak_support.h)
target_link_libraries(test_fault PRIVATE kv508app)

kv_test(test_soak test_soak.cpp test_soak_support.h)
target_link_libraries(test_soak PRIVATE kv508app)
target_compile_definitions(test_soak PRIVATE KV508_SIM_PATH="$<TARGET_FILE:kv508-sim>")
add_dependencies(test_soak kv508-sim)
# The full-size soak runs for about 20 minutes; CI's reduced one well under a minute.
if(DEFINED ENV{KV_SOAK_FULL})
  set_tests_properties(test_soak PROPERTIES TIMEOUT 7500)
endif()
