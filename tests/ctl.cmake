# kv508ctl: its values and formats on their own, and the real program against
# kv508-sim on pseudo-terminals (two programs, so ctest -j2 runs them side by side).
if(TARGET kv508ctl)
  find_package(nlohmann_json REQUIRED)
  kv_plain_test(test_ctl_values kv508ctlcore ctl/test_ctl_values.cpp)

  add_library(kv508ctltestsupport STATIC ctl/CtlProcess.h ctl/CtlProcess.cpp ctl/CtlFixture.h)
  target_include_directories(kv508ctltestsupport PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/ctl)
  target_link_libraries(kv508ctltestsupport PUBLIC kv508linktestsupport kv508version nlohmann_json::nlohmann_json GTest::gtest_main)
  target_compile_definitions(kv508ctltestsupport PUBLIC
    KV508CTL_PATH="$<TARGET_FILE:kv508ctl>" KV508_SIM_PATH="$<TARGET_FILE:kv508-sim>")
  target_compile_options(kv508ctltestsupport PRIVATE ${KV_WARNINGS})
  set_target_properties(kv508ctltestsupport PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)

  foreach(name test_ctl_e2e test_ctl_procedure test_ctl_guards)
    add_executable(${name} ctl/${name}.cpp)
    target_link_libraries(${name} PRIVATE kv508ctltestsupport)
    target_compile_options(${name} PRIVATE ${KV_WARNINGS})
    set_target_properties(${name} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
    add_dependencies(${name} kv508ctl kv508-sim)
    # The man page's source: its calibration script is run as written.
    target_compile_definitions(${name} PRIVATE KV508CTL_MAN_SOURCE="${CMAKE_SOURCE_DIR}/ctl/kv508ctl.1.scd")
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
      ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
      TIMEOUT 120)
  endforeach()

  # The simulator's console as kv508ctl's scripts use it (the reference ammeter).
  kv_test(test_sim_console ctl/test_sim_console.cpp)
  target_link_libraries(test_sim_console PRIVATE kv508simcore)
  target_compile_definitions(test_sim_console PRIVATE KV508_SIM_PATH="$<TARGET_FILE:kv508-sim>")
  add_dependencies(test_sim_console kv508-sim)

  # The man page (made from ctl/kv508ctl.1.scd) renders without a warning; the completion is valid bash.
  find_program(KV_GROFF groff)
  if(KV_GROFF AND TARGET kv508_man)
    add_test(NAME test_ctl_man_page
      COMMAND sh -c "out=$('${KV_GROFF}' -k -man -ww -z '${CMAKE_BINARY_DIR}/man/kv508ctl.1' 2>&1) && test -z \"$out\" || { echo \"$out\"; exit 1; }")
  endif()
  add_test(NAME test_ctl_completion COMMAND bash -n ${CMAKE_SOURCE_DIR}/ctl/kv508ctl.bash-completion)
endif()
