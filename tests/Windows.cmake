# The test programs of the Windows build. ctest runs them under Wine (the toolchain's emulator),
# one ctest entry per program: starting Wine once per test case would cost more than the tests.
# They cover what runs the same way on Windows (configuration, controller tables, INI files and
# the Windows-facing texts) and the Win32 implementation of the platform seams, the converter
# library loaded with LoadLibrary included. The converter's own tests compare with objcopy, and
# the tests around the simulator need the simulator: both are Linux-only.
add_library(flintcast_windows_test_kit STATIC ${CMAKE_SOURCE_DIR}/devkit/temp_dir.cpp ${CMAKE_SOURCE_DIR}/devkit/files.cpp)
target_link_libraries(flintcast_windows_test_kit PUBLIC flintcast_platform GTest::gtest_main GTest::gmock)
target_compile_definitions(flintcast_windows_test_kit PUBLIC
  FLINTCAST_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}" FLINTCAST_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  FLINTCAST_TEST_BIN_DIR="${CMAKE_BINARY_DIR}/tests")

# flintcast_windows_test(name SOURCES files... LIBRARIES libs...)
function(flintcast_windows_test name)
  cmake_parse_arguments(PARSE_ARGV 1 T "" "" "SOURCES;LIBRARIES")
  add_executable(test_${name} ${T_SOURCES})
  target_link_libraries(test_${name} PRIVATE flintcast_windows_test_kit ${T_LIBRARIES})
  set_target_properties(test_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(test_${name} PRIVATE -Wno-error=array-bounds -Wno-error=stringop-overflow)
  endif()
  add_test(NAME ${name} COMMAND test_${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()

file(GLOB config_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/config/*.cpp)
flintcast_windows_test(config SOURCES ${config_tests} LIBRARIES flintcast_config flintcast_package)

file(GLOB controller_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/controller/*.cpp)
flintcast_windows_test(controller SOURCES ${controller_tests} LIBRARIES flintcast_controller)

add_executable(argv_echo platform_win32/argv_echo.cpp)
set_target_properties(argv_echo PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
file(GLOB win32_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/platform_win32/*_test.cpp)
flintcast_windows_test(platform
  SOURCES ${win32_tests} ${CMAKE_CURRENT_SOURCE_DIR}/platform/ini_file_test.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/platform/windows_names_test.cpp
  LIBRARIES flintcast_platform)
add_dependencies(test_platform argv_echo ravelin)

# The Windows programs the Linux Wine tests (tests/wine) run against the simulator.
add_subdirectory(wine/win32)
