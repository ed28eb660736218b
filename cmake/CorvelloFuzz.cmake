# libFuzzer targets, built only on request with clang (see scripts/fuzz.sh):
#   cmake -S . -B build/fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCORVELLO_FUZZ=ON
# In that build every library gets the coverage feedback and the sanitizers,
# so the code under test is instrumented, not just the harness.
option(CORVELLO_FUZZ "Build the libFuzzer targets (needs clang++)" OFF)
set(corvello_fuzz_flags -fsanitize=address,undefined -fno-sanitize-recover=undefined)
if(CORVELLO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "CORVELLO_FUZZ needs CMAKE_CXX_COMPILER=clang++ (libFuzzer)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link ${corvello_fuzz_flags})
  add_link_options(${corvello_fuzz_flags})
endif()

# corvello_add_fuzzer(<name> SOURCES <files...> LIBS <libs...>)
# One libFuzzer executable; scripts/fuzz.sh runs every one registered here.
function(corvello_add_fuzzer name)
  if(NOT CORVELLO_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY CORVELLO_FUZZERS ${name})
endfunction()

# Called once at the end of the top-level list: the target `fuzzers` builds
# them all and fuzzers.txt names them for scripts/fuzz.sh.
function(corvello_finish_fuzzers)
  if(NOT CORVELLO_FUZZ)
    return()
  endif()
  get_property(names GLOBAL PROPERTY CORVELLO_FUZZERS)
  list(SORT names)
  add_custom_target(fuzzers DEPENDS ${names})
  set(locations)
  foreach(name IN LISTS names)
    list(APPEND locations "$<TARGET_FILE:${name}>")
  endforeach()
  list(JOIN locations "\n" text)
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/fuzzers.txt CONTENT "${text}\n")
endfunction()
