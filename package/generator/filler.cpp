#include "package/generator/filler.h"

namespace flintcast::mkpackage {

std::vector<uint8_t> Filler(std::string_view seedText, std::size_t size) {
    // FNV-1a of the seed text starts a xorshift64 generator.
    uint64_t state = 0xcbf29ce484222325ull;
    for (const char c : seedText) state = (state ^ static_cast<uint8_t>(c)) * 0x100000001b3ull;
    if (state == 0) state = 1;
    std::vector<uint8_t> bytes(size);
    std::size_t i = 0;
    while (i < size) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        for (int k = 0; k < 8 && i < size; ++k, ++i) bytes[i] = static_cast<uint8_t>(state >> (8 * k));
    }
    return bytes;
}

}  // namespace flintcast::mkpackage
