# The Windows cross build's third-party parts. Debian ships fmt, CLI11 and nlohmann-json as
# headers for the build machine only: their header folders are linked into a folder of their own
# (never the whole /usr/include, whose C library headers would shadow mingw-w64's) and used
# header-only. GoogleTest is built from the sources Debian ships in /usr/src/googletest.
set(host_headers ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${host_headers})
foreach(dir fmt CLI nlohmann)
  if(NOT EXISTS /usr/include/${dir})
    message(FATAL_ERROR "/usr/include/${dir} is missing: run scripts/install-deps.sh")
  endif()
  if(NOT EXISTS ${host_headers}/${dir})
    file(CREATE_LINK /usr/include/${dir} ${host_headers}/${dir} SYMBOLIC)
  endif()
endforeach()

add_library(flintcast_host_headers INTERFACE)
target_include_directories(flintcast_host_headers SYSTEM INTERFACE ${host_headers})

add_library(fmt::fmt INTERFACE IMPORTED)
target_link_libraries(fmt::fmt INTERFACE flintcast_host_headers)
target_compile_definitions(fmt::fmt INTERFACE FMT_HEADER_ONLY=1)
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_link_libraries(CLI11::CLI11 INTERFACE flintcast_host_headers)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_link_libraries(nlohmann_json::nlohmann_json INTERFACE flintcast_host_headers)
set(fmt_FOUND TRUE)
set(CLI11_FOUND TRUE)
set(nlohmann_json_FOUND TRUE)

# Unicode Win32 calls throughout, and no min/max macros from windows.h.
add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)

if(FLINTCAST_BUILD_TESTS)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  foreach(lib gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()
  set(GTest_FOUND TRUE)
endif()
