# Windows build: the program itself, its unit tests under Wine, the test components and the
# end-to-end tests that drive the real program through its windows.
enable_language(RC)

set(TOLVANE_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree for the Windows build")
# The Wine loader that runs this build's programs: the tests under Wine, and the scripts that run
# the program (they read it from this cache).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(TOLVANE_WINE /usr/lib/wine/wine64 CACHE FILEPATH "Wine loader for 64-bit Windows programs")
else()
    set(TOLVANE_WINE /usr/lib/wine/wine CACHE FILEPATH "Wine loader for 32-bit Windows programs")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${TOLVANE_WINE})

# Static runtime: the program and the tests import only system DLLs.
if(MSVC)
    set(TOLVANE_WARNINGS /W4)
    target_compile_options(tolvane_core PRIVATE /W4)
else()
    add_link_options(-static -static-libgcc -static-libstdc++)
    # The program uses no C++ exceptions, RTTI or library streams: that keeps the unwinder and the
    # demangler out of it. x64 keeps its unwind tables: the system's exception dispatch walks the
    # stack with them, and the crash guard depends on that walk reaching the top-level filter.
    set(TOLVANE_LEAN_OPTIONS -fno-exceptions -fno-rtti)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        # The stack kept aligned to 4 bytes, as the x86 Windows convention has it (no code of
        # the program needs more), without padding at each call.
        list(APPEND TOLVANE_LEAN_OPTIONS -fno-asynchronous-unwind-tables -mpreferred-stack-boundary=2)
    endif()
    target_compile_options(tolvane_core PRIVATE ${TOLVANE_LEAN_OPTIONS})
endif()
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

file(GLOB TOLVANE_WIN_SOURCES CONFIGURE_DEPENDS
    base/*_win.cpp app/*_win.cpp app/*/*_win.cpp report/*_win.cpp about/*_win.cpp)
if(MSVC OR NOT CMAKE_SIZEOF_VOID_P EQUAL 4) # the C runtime's start-up code instead
    list(REMOVE_ITEM TOLVANE_WIN_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/app/start_win.cpp)
endif()
file(GLOB TOLVANE_RESOURCE_INPUTS CONFIGURE_DEPENDS
    resources/*.bmp resources/*.ico resources/*.txt resources/*.manifest resources/*.rc resources/*.h)
set_source_files_properties(resources/tolvane.rc PROPERTIES OBJECT_DEPENDS "${TOLVANE_RESOURCE_INPUTS}")

add_executable(tolvane WIN32 ${TOLVANE_WIN_SOURCES} resources/tolvane.rc)
# Only DLLs on the system's KnownDLLs list are imported: the loader takes any other statically
# imported DLL from the program's own folder first. comctl32 is loaded at start, from the system folder.
target_link_libraries(tolvane PRIVATE tolvane_core ole32 gdi32 user32)
# One program for each bitness, from the same sources: tolvane.exe (x86) and tolvane64.exe (x64).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set_target_properties(tolvane PROPERTIES OUTPUT_NAME tolvane64)
endif()
# The version resource takes the version from project() and the file name from here.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(TOLVANE_FILE_NAME tolvane64.exe)
else()
    set(TOLVANE_FILE_NAME tolvane.exe)
endif()
configure_file(resources/version.h.in ${CMAKE_BINARY_DIR}/generated/version.h @ONLY)
target_include_directories(tolvane PRIVATE ${CMAKE_BINARY_DIR}/generated)
target_compile_options(tolvane PRIVATE ${TOLVANE_WARNINGS})
target_compile_definitions(tolvane PRIVATE WIN32_LEAN_AND_MEAN _CRT_SECURE_NO_WARNINGS)
if(NOT MSVC)
    target_compile_options(tolvane PRIVATE ${TOLVANE_LEAN_OPTIONS})
    # Release builds carry no debug sections.
    target_link_options(tolvane PRIVATE $<$<NOT:$<CONFIG:Debug>>:-s> -Wl,--gc-sections)
    target_compile_options(tolvane_core PRIVATE -ffunction-sections -fdata-sections $<$<CONFIG:Release>:-Oz>)
    target_compile_options(tolvane PRIVATE -ffunction-sections -fdata-sections $<$<CONFIG:Release>:-Oz>)
    # Optimised across files at link time, in one partition, so that what several files use is
    # there once: the program is about 4 % smaller.
    set_property(TARGET tolvane tolvane_core PROPERTY INTERPROCEDURAL_OPTIMIZATION_RELEASE ON)
    target_link_options(tolvane PRIVATE $<$<CONFIG:Release>:-flto-partition=one>)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        # tolvane.exe starts at its own entry point (app/start_win.cpp), without the C runtime's
        # start-up code, which it does not need: about 10 KB less. The stack probe that a large
        # frame calls is named up front: code made at link time asks for it only after the linker
        # has looked in the libraries, and this linker then crashes. It crashes on the 64-bit
        # link without the start-up code whatever is named, so tolvane64.exe keeps it.
        target_link_options(tolvane PRIVATE -nostartfiles -Wl,-u,___chkstk_ms)
        target_compile_definitions(tolvane PRIVATE TOLVANE_OWN_START)
    else()
        # libstdc++'s headers always ask for MinGW's own printf, which would bring its whole
        # floating-point formatter along; the formats the program uses are the system's
        # (msvcrt's), through the wrapper that terminates the text as C99 does.
        target_link_options(tolvane PRIVATE -Wl,--defsym,__mingw_vsnprintf=__ms_vsnprintf)
    endif()
endif()

if(TOLVANE_RELEASE)
    include(cmake/release.cmake)
    return()
endif()

# The tests build with MinGW-w64 and GoogleTest's sources.
if(TOLVANE_PROGRAM_ONLY OR NOT MINGW OR NOT EXISTS ${TOLVANE_GTEST_SOURCE}/CMakeLists.txt)
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
