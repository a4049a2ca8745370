#pragma once
// Writing a complete file in place of any existing one, through AtomicFileWriter
// (platform/atomic_file.h): the target holds its old content or the new one, never a part.
#include <cstdint>
#include <filesystem>
#include <span>

namespace flintcast::platform {

bool WriteFileReplacing(const std::filesystem::path& target, std::span<const uint8_t> data, bool executable = false);
// Copies `source` (following links to it) over `target` the same way.
bool CopyFileReplacing(const std::filesystem::path& source, const std::filesystem::path& target);

}  // namespace flintcast::platform
