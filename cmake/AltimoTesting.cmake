include(GoogleTest)
find_package(GTest REQUIRED)

# altimo_add_gtest(NAME file...): one test program per folder of tests, discovered by CTest.
# Every test gets a timeout and a label: its folder's (cli, robustness) or core; programs named in
# ALTIMO_SLOW_TESTS are labelled slow too.
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
    get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    if(folder STREQUAL "cli" OR folder STREQUAL "robustness")
        set(labels ${folder})
    else()
        set(labels core)
    endif()
    if(name IN_LIST ALTIMO_SLOW_TESTS)
        list(APPEND labels slow)
    endif()
    # The discovered tests' properties reach set_tests_properties as one flat list, so a second
    # label would be read as a property name. One label "core-slow" serves both: ctest matches
    # labels as regular expressions (-L core, -L slow, -LE slow).
    list(JOIN labels "-" label)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1" LABELS "${label}" TIMEOUT 600)
endfunction()
