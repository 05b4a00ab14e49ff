# Windows build: the program itself, its unit tests under Wine, the test components and the
# end-to-end tests that drive the real program through its windows.
enable_language(RC)

set(TOLVANE_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree for the Windows build")

# Static runtime: the program and the tests import only system DLLs.
if(MSVC)
    set(TOLVANE_WARNINGS /W4)
    target_compile_options(tolvane_core PRIVATE /W4)
else()
    add_link_options(-static -static-libgcc -static-libstdc++)
endif()
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

file(GLOB TOLVANE_WIN_SOURCES CONFIGURE_DEPENDS
    app/*_win.cpp app/paths/*_win.cpp report/*_win.cpp about/*_win.cpp)
file(GLOB TOLVANE_RESOURCE_INPUTS CONFIGURE_DEPENDS
    resources/*.bmp resources/*.ico resources/*.txt resources/*.manifest resources/*.rc resources/*.h)
set_source_files_properties(resources/tolvane.rc PROPERTIES OBJECT_DEPENDS "${TOLVANE_RESOURCE_INPUTS}")

add_executable(tolvane WIN32 ${TOLVANE_WIN_SOURCES} resources/tolvane.rc)
target_link_libraries(tolvane PRIVATE tolvane_core comctl32 ole32 gdi32 user32 shell32)
target_compile_options(tolvane PRIVATE ${TOLVANE_WARNINGS})
target_compile_definitions(tolvane PRIVATE WIN32_LEAN_AND_MEAN _CRT_SECURE_NO_WARNINGS)

# The tests build with MinGW-w64 and GoogleTest's sources.
if(NOT MINGW OR NOT EXISTS ${TOLVANE_GTEST_SOURCE}/CMakeLists.txt)
    message(STATUS "No tests in this build: they need MinGW-w64 and TOLVANE_GTEST_SOURCE")
    return()
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${TOLVANE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
endif()

add_executable(unit_tests_win ${TOLVANE_UNIT_TESTS})
target_link_libraries(unit_tests_win PRIVATE tolvane_core GTest::gtest_main)
target_compile_definitions(unit_tests_win PRIVATE TOLVANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

add_subdirectory(tests/e2e)
