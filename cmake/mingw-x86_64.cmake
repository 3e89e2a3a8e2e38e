# 64-bit Windows with MinGW-w64, posix thread model, static runtime.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VELMORA_MINGW_TARGET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
