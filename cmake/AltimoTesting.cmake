include(GoogleTest)
find_package(GTest REQUIRED)

# altimo_add_gtest(NAME file...): one test program per folder of tests, discovered by CTest.
function(altimo_add_gtest name)
    add_executable(${name} ${ARGN})
    target_compile_features(${name} PRIVATE cxx_std_20)
    target_compile_options(${name} PRIVATE ${ALTIMO_WARNINGS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(${name} PRIVATE altimo_tools altimo_oracles GTest::gtest GTest::gtest_main GTest::gmock)
    target_compile_definitions(${name} PRIVATE
        ALTIMO_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
        ALTIMO_CLI_PATH="$<TARGET_FILE:altimo-cli>")
    add_dependencies(${name} altimo-cli)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1")
endfunction()
