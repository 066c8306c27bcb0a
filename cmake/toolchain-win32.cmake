# Cross build for 32-bit Windows: the shipping build. Built, never run here.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(SETRIX_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
set(SETRIX_NO_TESTS ON)
