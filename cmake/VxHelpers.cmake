# Small helpers shared by every folder.
include(GoogleTest)

# vx_add_test(NAME name SOURCES ... LIBS ...): one GoogleTest executable registered with CTest.
function(vx_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main Threads::Threads)
  # The test data of the source tree, so a test binary finds it outside CTest too; VX_TEST_DATA
  # overrides it.
  target_compile_definitions(${T_NAME} PRIVATE VX_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/testdata")
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "VX_TEST_DATA=${CMAKE_SOURCE_DIR}/testdata")
endfunction()

# vx_add_fuzzer(NAME name SOURCES ... LIBS ... CORPUS dir):
# with VX_FUZZ (clang) a libFuzzer binary that CTest runs briefly (fixed seed, so a CI run
# repeats what the developer ran); otherwise a plain executable
# with a small driver that replays the corpus files, so the regression inputs run in every build.
function(vx_add_fuzzer)
  cmake_parse_arguments(F "" "NAME;CORPUS" "SOURCES;LIBS" ${ARGN})
  if(VX_FUZZ)
    add_executable(${F_NAME} ${F_SOURCES})
    target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
    set(_work "${CMAKE_BINARY_DIR}/fuzz-work/${F_NAME}")
    file(MAKE_DIRECTORY "${_work}")
    add_test(NAME fuzz.${F_NAME}
      COMMAND ${F_NAME} -seed=1 -max_total_time=20 -rss_limit_mb=2048 -timeout=60 "${_work}" ${F_CORPUS})
  else()
    add_executable(${F_NAME} ${F_SOURCES} ${CMAKE_SOURCE_DIR}/cmake/FuzzReplayMain.cpp)
    target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
    if(F_CORPUS)
      add_test(NAME fuzz-replay.${F_NAME} COMMAND ${F_NAME} ${F_CORPUS})
    endif()
  endif()
endfunction()
