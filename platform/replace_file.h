#pragma once
// Writing a complete file in place of any existing one. The data goes to a fresh
// file beside the target that is then renamed over it, so a link standing at the
// target is replaced rather than followed, and no half-written file is left behind.
#include <cstdint>
#include <filesystem>
#include <span>

namespace flintcast::platform {

bool WriteFileReplacing(const std::filesystem::path& target, std::span<const uint8_t> data, bool executable = false);
// Copies `source` (following links to it) over `target` the same way.
bool CopyFileReplacing(const std::filesystem::path& source, const std::filesystem::path& target);

}  // namespace flintcast::platform
