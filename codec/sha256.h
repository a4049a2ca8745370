#pragma once
// SHA-256 (FIPS 180-4), fed in pieces of any size so a file is hashed as it is read.
#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace flintcast::sha256 {

using Digest = std::array<uint8_t, 32>;

class Hasher {
public:
    Hasher();
    void Update(std::span<const uint8_t> data);
    // The digest of everything fed so far; the hasher starts afresh afterwards.
    Digest Finish();

private:
    void Block(const uint8_t* block);
    std::array<uint32_t, 8> state_{};
    std::array<uint8_t, 64> pending_{};
    std::size_t pendingBytes_ = 0;
    uint64_t totalBytes_ = 0;
};

Digest Of(std::span<const uint8_t> data);
// 64 lowercase hexadecimal digits.
std::string Hex(const Digest& digest);

}  // namespace flintcast::sha256
