# The calibration record: its arithmetic on its own; its store and certificate;
# the session that runs a check, without a window; its window (offscreen,
# transactions played to it); and end to end against kv508-sim. Left out where
# Qt has no SQL module (the records library is not built there).
if(TARGET kv508calib)
  kv_plain_test(test_calibration_math kv508calib test_calibration_math.cpp)

  kv_test(test_calibration_store test_calibration_store.cpp)
  target_link_libraries(test_calibration_store PRIVATE kv508calibpdf)

  kv_test(test_calibration_certificate test_calibration_certificate.cpp)
  target_link_libraries(test_calibration_certificate PRIVATE kv508calibpdf)

  # The session links Qt Core and Qt SQL only: a main of its own, no widgets.
  add_executable(test_calibration_session test_calibration_session.cpp)
  target_link_libraries(test_calibration_session PRIVATE kv508calib GTest::gtest Qt6::Test)
  target_compile_options(test_calibration_session PRIVATE ${KV_WARNINGS})
  add_test(NAME test_calibration_session COMMAND test_calibration_session)
  set_tests_properties(test_calibration_session PROPERTIES
    ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
    TIMEOUT 300)
  find_program(KV_LDD ldd)
  if(KV_LDD)
    # Fails when the program needs Qt Widgets or Qt Gui (and when ldd cannot read it).
    add_test(NAME test_calibration_session_links_no_widgets
      COMMAND sh -c "\"$0\" \"$1\" | grep -q libQt6Core && ! \"$0\" \"$1\" | grep -E 'libQt6(Widgets|Gui)'"
              ${KV_LDD} $<TARGET_FILE:test_calibration_session>)
  endif()

  kv_test(test_calibration_window test_calibration_window.cpp)
  target_link_libraries(test_calibration_window PRIVATE kv508app)

  kv_test(test_calibration_e2e test_calibration_e2e.cpp test_app_sim.h test_app_drive.h)
  target_link_libraries(test_calibration_e2e PRIVATE kv508app kv508simcore)
  target_compile_definitions(test_calibration_e2e PRIVATE KV508_SIM_PATH="$<TARGET_FILE:kv508-sim>")
  add_dependencies(test_calibration_e2e kv508-sim)
endif()
