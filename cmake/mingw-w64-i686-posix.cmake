# Cross-build for 32-bit Windows with MinGW-w64: only the MIDI driver, which a
# 32-bit DAW loads from SysWOW64 (posix thread model, as in the 64-bit build).
set(CORVELLO_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
