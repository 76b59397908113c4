# Shared by the two Windows toolchain files, which set VOXA_MINGW_TRIPLE and
# CMAKE_SYSTEM_PROCESSOR first. The posix thread-model compilers are used:
# GoogleTest and std::thread need them. Test programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${VOXA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VOXA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VOXA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VOXA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Each build folder gets its own Wine prefix (unless WINEPREFIX is set).
set(CMAKE_CROSSCOMPILING_EMULATOR
  ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/wine-prefix)
