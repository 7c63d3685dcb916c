# Unit tests: one GoogleTest executable per folder of tests/unit, linked with
# the intro over the headless backend. Every test case runs in a process of
# its own (the intro's state is global and never reset).
find_package(GTest REQUIRED)
include(GoogleTest)

set(BRINDLEC_TEST_ENVIRONMENT
  "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/sanitizer/lsan.supp:print_suppressions=0"
  "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
  "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/sanitizer/tsan.supp:halt_on_error=1:second_deadlock_stack=1")

file(GLOB test_areas LIST_DIRECTORIES true ${PROJECT_SOURCE_DIR}/tests/unit/*)
foreach(area_dir ${test_areas})
  if(IS_DIRECTORY ${area_dir})
    get_filename_component(area ${area_dir} NAME)
    file(GLOB sources CONFIGURE_DEPENDS ${area_dir}/*.cpp)
    if(sources)
      add_executable(test_${area} ${sources})
      target_include_directories(test_${area} PRIVATE ${PROJECT_SOURCE_DIR})
      target_link_libraries(test_${area} PRIVATE ${BRINDLEC_HEADLESS} GTest::gtest_main)
      if(area STREQUAL "gl11")
        target_link_libraries(test_${area} PRIVATE platform_gl11)
      endif()
      target_compile_definitions(test_${area} PRIVATE
        BRINDLEC_SOURCE_DIR="${PROJECT_SOURCE_DIR}" BRINDLEC_BINARY_DIR="${PROJECT_BINARY_DIR}")
      gtest_discover_tests(test_${area} DISCOVERY_TIMEOUT 60 TEST_LIST test_${area}_TESTS)
      # Labels and environment are lists, which gtest_discover_tests's
      # PROPERTIES would flatten into separate arguments (the area label and
      # the sanitizer options were lost): set them once the tests are known.
      set(BRINDLEC_TEST_AREA ${area})
      set(properties_file ${PROJECT_BINARY_DIR}/test_${area}_properties.cmake)
      file(CONFIGURE OUTPUT ${properties_file} CONTENT [[
foreach(test IN LISTS test_@BRINDLEC_TEST_AREA@_TESTS)
  set_tests_properties("${test}" PROPERTIES LABELS "unit;@BRINDLEC_TEST_AREA@"
    ENVIRONMENT "@BRINDLEC_TEST_ENVIRONMENT@")
endforeach()
]] @ONLY)
      set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${properties_file})
    endif()
  endif()
endforeach()

# End-to-end tests: scripts that drive the real executables. The browser
# test opens the web preset's build and compares its stills with the
# OpenGL 1.1 frames the subset test leaves behind.
set(BRINDLEC_WEB_DIR ${PROJECT_SOURCE_DIR}/build-web CACHE PATH "The browser build the browser test opens")
file(GLOB e2e_scripts CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/e2e/*.sh)
foreach(script ${e2e_scripts})
  get_filename_component(name ${script} NAME_WE)
  add_test(NAME e2e_${name} COMMAND bash ${script})
  set_tests_properties(e2e_${name} PROPERTIES LABELS e2e TIMEOUT 600
    ENVIRONMENT "BRINDLEC_BIN=${PROJECT_BINARY_DIR};BRINDLEC_SOURCE_DIR=${PROJECT_SOURCE_DIR};BRINDLEC_WEB_DIR=${BRINDLEC_WEB_DIR};${BRINDLEC_TEST_ENVIRONMENT}")
endforeach()
set_tests_properties(e2e_gl_subset PROPERTIES FIXTURES_SETUP reference_frames)
set_tests_properties(e2e_browser PROPERTIES FIXTURES_REQUIRED reference_frames LABELS "e2e;browser")

# Helpers of the end-to-end scripts: holding one thread of a running
# process (ptrace), comparing captured audio with the offline render, and
# comparing pictures.
foreach(helper hold_thread pcm_lag frame_diff)
  add_executable(${helper} ${PROJECT_SOURCE_DIR}/tests/e2e/support/${helper}.cpp)
endforeach()
target_link_libraries(frame_diff PRIVATE PNG::PNG)
