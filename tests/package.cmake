# What the package promises beyond the programs: About reachable with the
# version and the licence; the manual pages in step with the programs.
kv_test(test_about test_about.cpp test_app_support.h)
target_link_libraries(test_about PRIVATE kv508app kv508version)

if(TARGET kv508_man)
  find_program(KV_GROFF groff)
  if(KV_GROFF)
    add_test(NAME test_man_pages
      COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tools/check-man-pages.sh ${PROJECT_VERSION} ${CMAKE_BINARY_DIR}/man
              $<TARGET_FILE:kv508> $<TARGET_FILE:kv508-sim> $<TARGET_FILE:kv508ctl>)
    set_tests_properties(test_man_pages PROPERTIES
      ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0;QT_QPA_PLATFORM=offscreen" TIMEOUT 60)
  endif()
endif()
