#pragma once
// Reading and writing whole files in tests: one helper instead of a stream loop in every test.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace flintcast::testing {

// The file's bytes as text; empty when it cannot be read.
std::string ReadText(const std::filesystem::path& path);
// The file's bytes; empty when it cannot be read.
std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
// Replaces the file with `text`, making its folder first; false when it cannot be written.
bool WriteText(const std::filesystem::path& path, const std::string& text);

}  // namespace flintcast::testing
