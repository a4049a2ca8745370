#include "sim/model/dmss_ram.h"

namespace flintcast::sim {

bool DmssRam::Write(uint32_t address, const uint8_t* data, size_t count) {
    if (uint64_t{address} + count > (uint64_t{1} << 32)) return false;
    // Count the new pages first so a refused write changes nothing.
    size_t newPages = 0;
    for (uint64_t page = address / kPageBytes; count > 0 && page <= (uint64_t{address} + count - 1) / kPageBytes; ++page) {
        if (!pages_.count(static_cast<uint32_t>(page))) ++newPages;
    }
    if (pages_.size() + newPages > kMaxPages) return false;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t at = address + static_cast<uint32_t>(i);
        Page& page = pages_[at / kPageBytes];
        page.bytes[at % kPageBytes] = data[i];
        page.written.set(at % kPageBytes);
    }
    return true;
}

std::optional<std::vector<uint8_t>> DmssRam::Read(uint32_t address, size_t count) const {
    if (uint64_t{address} + count > (uint64_t{1} << 32)) return std::nullopt;
    std::vector<uint8_t> out(count);
    for (size_t i = 0; i < count; ++i) {
        const uint32_t at = address + static_cast<uint32_t>(i);
        const auto it = pages_.find(at / kPageBytes);
        if (it == pages_.end() || !it->second.written.test(at % kPageBytes)) return std::nullopt;
        out[i] = it->second.bytes[at % kPageBytes];
    }
    return out;
}

std::vector<std::pair<uint32_t, uint32_t>> DmssRam::Ranges() const {
    std::vector<std::pair<uint32_t, uint32_t>> ranges;
    for (const auto& [number, page] : pages_) {
        for (uint32_t i = 0; i < kPageBytes; ++i) {
            if (!page.written.test(i)) continue;
            const uint32_t at = number * kPageBytes + i;
            if (!ranges.empty() && uint64_t{ranges.back().first} + ranges.back().second == at) {
                ++ranges.back().second;
            } else {
                ranges.emplace_back(at, 1);
            }
        }
    }
    return ranges;
}

}  // namespace flintcast::sim
