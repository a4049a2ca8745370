// The simulator's profile reader: any text gives a profile or a std::runtime_error naming the
// problem; no other exception and no fault escapes it.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "sim/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        (void)flintcast::sim::ParseProfile(text);
    } catch (const std::runtime_error&) {
    }
    return 0;
}
