# The calibration record: its arithmetic on its own; its store and certificate;
# its window (offscreen, transactions played to it); and end to end against
# kv508-sim. Left out where Qt has no SQL module (the records library is not
# built there).
if(TARGET kv508calib)
  kv_plain_test(test_calibration_math kv508calib test_calibration_math.cpp)

  kv_test(test_calibration_store test_calibration_store.cpp)
  target_link_libraries(test_calibration_store PRIVATE kv508calib)

  kv_test(test_calibration_certificate test_calibration_certificate.cpp)
  target_link_libraries(test_calibration_certificate PRIVATE kv508calib)

  kv_test(test_calibration_window test_calibration_window.cpp)
  target_link_libraries(test_calibration_window PRIVATE kv508app)

  kv_test(test_calibration_e2e test_calibration_e2e.cpp test_app_sim.h test_app_drive.h)
  target_link_libraries(test_calibration_e2e PRIVATE kv508app kv508simcore)
  target_compile_definitions(test_calibration_e2e PRIVATE KV508_SIM_PATH="$<TARGET_FILE:kv508-sim>")
  add_dependencies(test_calibration_e2e kv508-sim)
endif()
