#pragma once
// Reply builders shared by the DIAG services.
#include <cstdint>
#include <span>
#include <vector>

namespace flintcast::sim {

// DIAG's refusal codes; each is answered with the request echoed behind it.
inline constexpr uint8_t kDiagBadCommand = 0x13;
inline constexpr uint8_t kDiagBadParameter = 0x14;
inline constexpr uint8_t kDiagBadLength = 0x15;

inline std::vector<uint8_t> DiagRefusal(uint8_t code, std::span<const uint8_t> request) {
    std::vector<uint8_t> reply;
    reply.reserve(request.size() + 1);
    reply.push_back(code);
    reply.insert(reply.end(), request.begin(), request.end());
    return reply;
}

}  // namespace flintcast::sim
