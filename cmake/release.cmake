# The release package: tolvane.exe from this (x86) build and tolvane64.exe from the same sources
# built for x64 alongside, with the user's README and the licence, in
# tolvane-<version>-windows.zip. Made by: cmake --workflow --preset release
include(ExternalProject)
set(TOLVANE_X64_BUILD ${CMAKE_BINARY_DIR}/x64)
ExternalProject_Add(tolvane64
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${TOLVANE_X64_BUILD}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
               -DTOLVANE_PROGRAM_ONLY=ON
    BUILD_COMMAND ${CMAKE_COMMAND} -E env MAKEFLAGS= ${CMAKE_COMMAND} --build ${TOLVANE_X64_BUILD} --target tolvane
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)
add_dependencies(tolvane tolvane64)

install(TARGETS tolvane RUNTIME DESTINATION .)
install(PROGRAMS ${TOLVANE_X64_BUILD}/bin/tolvane64.exe DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/package/README.txt ${CMAKE_SOURCE_DIR}/LICENSE.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME TolVane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME tolvane-${PROJECT_VERSION}-windows)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
