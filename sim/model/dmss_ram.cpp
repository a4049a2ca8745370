#include "sim/model/dmss_ram.h"

#include <algorithm>
#include <cstring>

namespace flintcast::sim {

bool DmssRam::Write(uint32_t address, const uint8_t* data, size_t count) {
    if (uint64_t{address} + count > (uint64_t{1} << 32)) return false;
    // Count the new pages first so a refused write changes nothing.
    size_t newPages = 0;
    for (uint64_t page = address / kPageBytes; count > 0 && page <= (uint64_t{address} + count - 1) / kPageBytes; ++page) {
        if (!pages_.count(static_cast<uint32_t>(page))) ++newPages;
    }
    if (pages_.size() + newPages > kMaxPages) return false;
    // Copy page by page: a programmer of some hundred KiB arrives in ~1 KiB writes.
    size_t done = 0;
    while (done < count) {
        const uint64_t at = uint64_t{address} + done;
        const size_t offset = static_cast<size_t>(at % kPageBytes);
        const size_t take = std::min(count - done, kPageBytes - offset);
        Page& page = pages_[static_cast<uint32_t>(at / kPageBytes)];
        std::memcpy(page.bytes.data() + offset, data + done, take);
        if (take == kPageBytes) {
            page.written.set();
        } else {
            for (size_t i = 0; i < take; ++i) page.written.set(offset + i);
        }
        done += take;
    }
    return true;
}

std::optional<std::vector<uint8_t>> DmssRam::Read(uint32_t address, size_t count) const {
    if (uint64_t{address} + count > (uint64_t{1} << 32)) return std::nullopt;
    std::vector<uint8_t> out(count);
    size_t done = 0;
    while (done < count) {
        const uint64_t at = uint64_t{address} + done;
        const size_t offset = static_cast<size_t>(at % kPageBytes);
        const size_t take = std::min(count - done, kPageBytes - offset);
        const auto it = pages_.find(static_cast<uint32_t>(at / kPageBytes));
        if (it == pages_.end()) return std::nullopt;
        if (!it->second.written.all()) {
            for (size_t i = 0; i < take; ++i) {
                if (!it->second.written.test(offset + i)) return std::nullopt;
            }
        }
        std::memcpy(out.data() + done, it->second.bytes.data() + offset, take);
        done += take;
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
