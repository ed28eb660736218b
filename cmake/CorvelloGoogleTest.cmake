# GoogleTest is built from Debian's sources (package googletest) with the
# project's own flags, so the same tests build natively, with sanitizers,
# and for MinGW.
set(CORVELLO_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${CORVELLO_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

# corvello_add_test(<name> LABEL <labels...> SOURCES <files...> LIBS <libs...>
#                   [TIMEOUT <seconds>] [RESOURCE_LOCK <name>] [ENVIRONMENT <NAME=value>]
#                   [PREFIX <text put before each test's name>])
# One GoogleTest executable registered with ctest under the given label
# ("unit" becomes "windows" in the MinGW build, where it runs under Wine;
# add "desktop" to a Windows test that needs an X display).
function(corvello_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT;RESOURCE_LOCK;ENVIRONMENT;PREFIX" "LABEL;SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  if(WIN32)
    list(TRANSFORM T_LABEL REPLACE "^unit$" "windows")
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  # Tests that share a system service (one avahi-daemon per machine) never run at once.
  set(lock)
  if(T_RESOURCE_LOCK)
    set(lock RESOURCE_LOCK ${T_RESOURCE_LOCK})
  endif()
  # Listing the tests starts Wine in the MinGW build, which can take longer
  # than the default five seconds when its server and desktop start cold.
  set(environment)
  if(T_ENVIRONMENT)
    set(environment ENVIRONMENT ${T_ENVIRONMENT})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    TEST_PREFIX "${T_PREFIX}" PROPERTIES TIMEOUT ${T_TIMEOUT} ${lock} ${environment})
  # PROPERTIES cannot carry a list value (it would split "windows;desktop"),
  # so the discovered tests get their labels from a script ctest runs next.
  set(label_script ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
  file(WRITE ${label_script}
    "if(${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"${T_LABEL}\")\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${label_script})
  # The target `threaded_tests` builds what the label "threads" runs (with the
  # programs those tests start), so the ThreadSanitizer build builds no more.
  if("threads" IN_LIST T_LABEL)
    if(NOT TARGET threaded_tests)
      add_custom_target(threaded_tests)
    endif()
    add_dependencies(threaded_tests ${name})
  endif()
endfunction()
