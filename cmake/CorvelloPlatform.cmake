# Platform seams: every OS service lives in NAME_win.cpp or NAME_posix.cpp
# next to the portable NAME.h. This helper adds the one that fits the target.
if(WIN32)
  set(CORVELLO_PLATFORM_SUFFIX win)
else()
  set(CORVELLO_PLATFORM_SUFFIX posix)
endif()

# corvello_platform_sources(<target> <base>...) adds <base>_win.cpp or
# <base>_posix.cpp for each base path given (relative to the current dir).
function(corvello_platform_sources target)
  foreach(base IN LISTS ARGN)
    target_sources(${target} PRIVATE ${base}_${CORVELLO_PLATFORM_SUFFIX}.cpp)
  endforeach()
endfunction()

# Windows test executables run under Wine through CMAKE_CROSSCOMPILING_EMULATOR;
# the runtime is linked statically so no MinGW DLLs need to be found at run time.
if(WIN32)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()
