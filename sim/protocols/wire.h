#pragma once
// Field access for request parsing and reply building: byte order from the shared codec, text
// fields here. Callers check the length first.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codec/byte_order.h"

namespace flintcast::sim::wire {

using Bytes = std::span<const uint8_t>;

using byte_order::Be16;
using byte_order::Be32;
using byte_order::Le16;
using byte_order::Le32;
using byte_order::PutBe16;
using byte_order::PutBe32;
using byte_order::PutLe16;
using byte_order::PutLe32;

inline void PutText(std::vector<uint8_t>& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}
// Text padded with zeros (or cut) to exactly `width` bytes.
inline void PutFixedText(std::vector<uint8_t>& out, std::string_view text, size_t width) {
    for (size_t i = 0; i < width; ++i) out.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}

// A NUL-ended string starting at `at`; false when there is no NUL inside the span.
inline bool CString(Bytes b, size_t at, std::string& out) {
    for (size_t i = at; i < b.size(); ++i) {
        if (b[i] == 0) {
            out.assign(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

}  // namespace flintcast::sim::wire
