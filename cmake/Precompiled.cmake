# Precompiled headers: the standard and third-party headers nearly every file includes are parsed
# once per build instead of once per file. flintcast_platform owns the libraries' header and the
# first test program the tests' one; the other targets reuse them (same flags throughout).
set(FLINTCAST_COMMON_HEADERS
  <algorithm> <array> <cstdint> <filesystem> <functional> <map> <memory> <optional> <span>
  <string> <string_view> <vector> <fmt/format.h>)
set(FLINTCAST_TEST_HEADERS ${FLINTCAST_COMMON_HEADERS} <fstream> <thread> <chrono> <gtest/gtest.h>
  <gmock/gmock.h> <nlohmann/json.hpp>)

# ccache caches files built with a precompiled header only with "sloppiness = pch_defines,time_macros"
# in its configuration; without it they are compiled every time, correctly.

# flintcast_reuse_headers(target owner): `target` uses the precompiled header of `owner`.
function(flintcast_reuse_headers target owner)
  get_target_property(type ${target} TYPE)
  if(NOT type STREQUAL "INTERFACE_LIBRARY")
    target_precompile_headers(${target} REUSE_FROM ${owner})
  endif()
endfunction()
