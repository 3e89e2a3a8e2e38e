# What both Windows toolchains share: MinGW-w64 with the posix thread model
# for the target VELMORA_MINGW_TARGET, the static runtime, and Wine as the
# emulator that runs the tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${VELMORA_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMORA_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${VELMORA_MINGW_TARGET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VELMORA_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
