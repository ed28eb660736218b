# What both MinGW-w64 cross toolchain files share: the compilers of one target
# triplet (posix thread model: std::thread and std::mutex need it) and a find
# root that keeps the build host's libraries out.
# Set CORVELLO_MINGW_PROCESSOR (x86_64 or i686) before including this file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${CORVELLO_MINGW_PROCESSOR})
set(triplet ${CORVELLO_MINGW_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
