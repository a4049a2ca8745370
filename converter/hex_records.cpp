#include "converter/hex_records.h"

#include "converter/messages.h"

namespace flintcast::converter {
namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

RecordSplit Failure(std::string_view message) {
    RecordSplit split;
    split.message = std::string(message);
    return split;
}

}  // namespace

RecordSplit SplitHexRecords(std::string_view text) {
    const std::size_t end = text.find(":00000001");
    if (end == std::string_view::npos) return Failure(kNoEndRecord);
    text = text.substr(0, end);

    RecordSplit split;
    int highNibble = -1;  // the first digit of a pair waiting for its second
    for (const char c : text) {
        if (c == '\r' || c == '\n') continue;
        if (c == ':') {
            if (highNibble >= 0) return Failure(kBadDigitPair);
            split.records.emplace_back();
            continue;
        }
        if (split.records.empty()) {
            // Text before the first record leaves nothing to convert.
            return Failure(kOutputLengthWrong);
        }
        const int value = DigitValue(c);
        if (value < 0) return Failure(kBadDigitPair);
        if (highNibble < 0) {
            highNibble = value;
        } else {
            split.records.back().push_back(static_cast<uint8_t>(highNibble << 4 | value));
            highNibble = -1;
        }
    }
    if (highNibble >= 0) return Failure(kBadDigitPair);
    split.ok = true;
    return split;
}

}  // namespace flintcast::converter
