# Cross build for 64-bit Windows; tests run under 64-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SETRIX_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
