# oscpack, as the imported target Oscpack::oscpack.
#
# Natively it is Debian's liboscpack-dev (headers in /usr/include/oscpack,
# no pkg-config). For MinGW it is built from Debian's source package, which
# `apt-get source oscpack` fetches into the build tree at configure time (it
# needs a deb-src entry and dpkg-dev; scripts/install-deps.sh sets both up).
# The source is never kept in the repository. Where the machine cannot fetch
# it, CORVELLO_OSCPACK_SOURCE_DIR may point at an unpacked oscpack tree.

if(TARGET Oscpack::oscpack)
  return()
endif()

if(NOT WIN32)
  find_path(OSCPACK_INCLUDE_DIR osc/OscOutboundPacketStream.h PATH_SUFFIXES oscpack)
  find_library(OSCPACK_LIBRARY oscpack)
  if(NOT OSCPACK_INCLUDE_DIR OR NOT OSCPACK_LIBRARY)
    message(FATAL_ERROR "oscpack not found: install Debian's liboscpack-dev (scripts/install-deps.sh).")
  endif()
  add_library(Oscpack::oscpack UNKNOWN IMPORTED)
  set_target_properties(Oscpack::oscpack PROPERTIES
    IMPORTED_LOCATION ${OSCPACK_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${OSCPACK_INCLUDE_DIR})
  return()
endif()

set(CORVELLO_OSCPACK_SOURCE_DIR "" CACHE PATH "An unpacked oscpack source tree (default: fetched with apt-get source)")

function(corvello_fetch_oscpack_source out_dir)
  set(fetch_root ${CMAKE_BINARY_DIR}/_deps/oscpack-src)
  file(GLOB found LIST_DIRECTORIES true ${fetch_root}/oscpack-*/osc)
  if(NOT found)
    file(REMOVE_RECURSE ${fetch_root})
    file(MAKE_DIRECTORY ${fetch_root})
    message(STATUS "Fetching oscpack's Debian source package into ${fetch_root}")
    execute_process(COMMAND apt-get source oscpack
      WORKING_DIRECTORY ${fetch_root}
      RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    file(GLOB found LIST_DIRECTORIES true ${fetch_root}/oscpack-*/osc)
    if(NOT result EQUAL 0 OR NOT found)
      message(FATAL_ERROR
        "The Windows build needs oscpack's source and could not fetch it with "
        "`apt-get source oscpack` (exit ${result}):\n${output}\n"
        "Run scripts/install-deps.sh as root (it adds the deb-src entry and dpkg-dev), "
        "or set CORVELLO_OSCPACK_SOURCE_DIR to an unpacked oscpack source tree.")
    endif()
  endif()
  list(GET found 0 osc_dir)
  get_filename_component(source_dir ${osc_dir} DIRECTORY)
  set(${out_dir} ${source_dir} PARENT_SCOPE)
endfunction()

if(CORVELLO_OSCPACK_SOURCE_DIR)
  if(NOT EXISTS ${CORVELLO_OSCPACK_SOURCE_DIR}/osc/OscTypes.cpp)
    message(FATAL_ERROR "CORVELLO_OSCPACK_SOURCE_DIR=${CORVELLO_OSCPACK_SOURCE_DIR} holds no oscpack source tree.")
  endif()
  set(oscpack_source ${CMAKE_BINARY_DIR}/_deps/oscpack-given)
  file(COPY ${CORVELLO_OSCPACK_SOURCE_DIR}/ DESTINATION ${oscpack_source})
else()
  corvello_fetch_oscpack_source(oscpack_source)
endif()

# oscpack takes `long` for its 64-bit integers on every x86-64, but on Windows
# `long` has 32 bits (its own assertions then fail at the first message). The
# build tree's copy takes `long long` there, as on other 64-bit targets.
file(READ ${oscpack_source}/osc/OscTypes.h oscpack_types)
string(REPLACE "#elif defined(__x86_64__) || defined(_M_X64)\n\ntypedef long int64;"
               "#elif (defined(__x86_64__) || defined(_M_X64)) && !defined(_WIN64)\n\ntypedef long int64;"
               oscpack_types_fixed "${oscpack_types}")
if(NOT oscpack_types STREQUAL oscpack_types_fixed)
  file(WRITE ${oscpack_source}/osc/OscTypes.h "${oscpack_types_fixed}")
endif()

add_library(corv_oscpack STATIC
  ${oscpack_source}/ip/IpEndpointName.cpp
  ${oscpack_source}/ip/win32/NetworkingUtils.cpp
  ${oscpack_source}/ip/win32/UdpSocket.cpp
  ${oscpack_source}/osc/OscTypes.cpp
  ${oscpack_source}/osc/OscReceivedElements.cpp
  ${oscpack_source}/osc/OscPrintReceivedElements.cpp
  ${oscpack_source}/osc/OscOutboundPacketStream.cpp)
target_include_directories(corv_oscpack SYSTEM PUBLIC ${oscpack_source})
# Third-party code: its warnings are not ours to fix.
target_compile_options(corv_oscpack PRIVATE -w)
target_link_libraries(corv_oscpack PUBLIC ws2_32 winmm)
add_library(Oscpack::oscpack ALIAS corv_oscpack)
