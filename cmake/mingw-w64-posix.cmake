# Cross-build for Windows with MinGW-w64 (posix thread model: std::thread and
# std::mutex need it). Test executables run under Wine.
set(CORVELLO_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
