# Native build: the window-free logic and its unit tests, under the sanitizers.
find_package(GTest REQUIRED)
include(GoogleTest)

if(TOLVANE_SANITIZE)
    set(TOLVANE_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_compile_options(tolvane_core PRIVATE ${TOLVANE_SANITIZER_FLAGS})
    target_link_options(tolvane_core PUBLIC ${TOLVANE_SANITIZER_FLAGS})
endif()

add_executable(unit_tests ${TOLVANE_UNIT_TESTS})
target_link_libraries(unit_tests PRIVATE tolvane_core GTest::gtest_main)
target_compile_options(unit_tests PRIVATE ${TOLVANE_WARNINGS})
if(TOLVANE_SANITIZE)
    target_compile_options(unit_tests PRIVATE ${TOLVANE_SANITIZER_FLAGS})
endif()
gtest_discover_tests(unit_tests TEST_PREFIX "unit.")
target_compile_definitions(unit_tests PRIVATE TOLVANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
