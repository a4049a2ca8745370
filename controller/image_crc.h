#pragma once
// CRC-16 of a whole image file for the fast download mode.
#include <cstdint>
#include <filesystem>
#include <optional>

#include "config/messages.h"

namespace flintcast::controller {

// CRC-16/X-25 (reflected 0x8408, initial 0xFFFF, final complement) over the file,
// read piece by piece. A file that will not open, is empty or reads short shows its
// warning and gives nothing.
std::optional<uint16_t> ImageFileCrc(const std::filesystem::path& path, config::MessageSink& messages);

}  // namespace flintcast::controller
