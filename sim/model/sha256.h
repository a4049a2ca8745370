#pragma once
// SHA-256 for the state file's image and file hashes.
#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace flintcast::sim {

class Sha256 {
public:
    Sha256();
    void Update(std::span<const uint8_t> data);
    std::array<uint8_t, 32> Finish();

private:
    std::array<uint32_t, 8> state_;
    std::array<uint8_t, 64> block_{};
    size_t blockUsed_ = 0;
    uint64_t totalBytes_ = 0;

    void Compress(const uint8_t* block);
};

// Lower-case hex digest of `data`.
std::string Sha256Hex(std::span<const uint8_t> data);

}  // namespace flintcast::sim
