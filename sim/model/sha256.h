#pragma once
// The simulator's names for the shared SHA-256 of codec/, used for the state file's image and
// file hashes.
#include <cstdint>
#include <span>
#include <string>

#include "codec/sha256.h"

namespace flintcast::sim {

using Sha256 = sha256::Hasher;

// Lower-case hex digest of `data`.
inline std::string Sha256Hex(std::span<const uint8_t> data) { return sha256::Hex(sha256::Of(data)); }

}  // namespace flintcast::sim
