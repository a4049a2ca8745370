// The unit archive as restore-archive and a resumed run read it: any bytes give an archive or
// a reason, never a fault; an archive that is accepted is exactly the encoding of what was read
// (no byte of the file goes unchecked), and every item in it has the shape its kind requires.
#include <cstdint>
#include <span>

#include "engine/unit_archive.h"
#include "fuzz/fuzz_check.h"

using namespace flintcast::engine;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    const auto decoded = archive::Decode(bytes);
    if (!decoded.archive) {
        FUZZ_CHECK(!decoded.error.empty());
        return 0;
    }
    const auto again = archive::Encode(*decoded.archive);
    FUZZ_CHECK(again.size() == size && std::equal(again.begin(), again.end(), bytes.begin()));
    for (const auto& item : decoded.archive->items) {
        if (item.kind == archive::Kind::Nv) FUZZ_CHECK(item.data.size() == archive::kNvDataBytes);
        if (item.kind == archive::Kind::EfsDir || item.kind == archive::Kind::EfsFile) {
            FUZZ_CHECK(!item.name.empty() && item.name.front() == '/');
            FUZZ_CHECK(item.name.find("/../") == std::string::npos);
        }
    }
    return 0;
}
