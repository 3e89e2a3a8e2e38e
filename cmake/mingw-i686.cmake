# 32-bit Windows (x86) with MinGW-w64, posix thread model, SSE2 maths, static runtime.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VELMORA_MINGW_TARGET i686-w64-mingw32)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
