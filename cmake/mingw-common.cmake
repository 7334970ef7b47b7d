# Cross build for Windows with Debian's MinGW-w64, the compilers of the POSIX
# thread model (std::thread, std::mutex). Included by mingw-<arch>.cmake,
# which sets TQLA_MINGW_TRIPLET.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TQLA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TQLA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TQLA_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TQLA_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
