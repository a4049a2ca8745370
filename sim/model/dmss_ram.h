#pragma once
// RAM of a device in download mode: what the bootloader was given, where. Sparse, in
// pages, with a cap so a client cannot make the simulator grow without bound.
#include <array>
#include <bitset>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace flintcast::sim {

class DmssRam {
public:
    static constexpr uint32_t kPageBytes = 4096;
    static constexpr size_t kMaxPages = 8192;  // 32 MiB

    // False when the range wraps past 4 GiB or the RAM cap would be exceeded.
    bool Write(uint32_t address, const uint8_t* data, size_t count);
    // The bytes at [address, address + count) when every one of them was written.
    std::optional<std::vector<uint8_t>> Read(uint32_t address, size_t count) const;
    // Contiguous written ranges (start, length), for the state file.
    std::vector<std::pair<uint32_t, uint32_t>> Ranges() const;
    void Clear() { pages_.clear(); }
    bool empty() const { return pages_.empty(); }

private:
    struct Page {
        std::array<uint8_t, kPageBytes> bytes{};
        std::bitset<kPageBytes> written;
    };
    std::map<uint32_t, Page> pages_;  // key: page number
};

}  // namespace flintcast::sim
