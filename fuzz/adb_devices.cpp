// The device listing of the adb program: any output reads without fault, the kept text stays
// short and printable, a named serial is only found when it is listed, and a device line is
// found however much text the program printed before it.
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/adb_device_list.h"
#include "fuzz/fuzz_check.h"

using flintcast::engine::ReadAdbListing;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view output(reinterpret_cast<const char*>(data), size);
    const auto any = ReadAdbListing(output);
    FUZZ_CHECK(any.text.size() <= 500);
    for (char c : any.text) FUZZ_CHECK((c >= 0x20 && c < 0x7F) || c == '\n' || c == '\t');
    const auto named = ReadAdbListing(output, "127.0.0.1:5555");
    if (named.listed) FUZZ_CHECK(any.listed && output.find("127.0.0.1:5555") != std::string_view::npos);

    const std::string withUnit = std::string(output) + "\n127.0.0.1:5555\tdevice\n";
    FUZZ_CHECK(ReadAdbListing(withUnit, "127.0.0.1:5555").listed);
    return 0;
}
