#pragma once
// Splitting Intel HEX text into records of raw bytes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace flintcast::converter {

using HexRecord = std::vector<uint8_t>;  // byte count, address (2), type, data..., checksum

struct RecordSplit {
    bool ok = false;
    std::string message;  // why it failed; empty on success
    std::vector<HexRecord> records;
};

// Finds the end-of-file record and decodes every record before it. A ":" starts
// a record, CR and LF are skipped, all other characters must pair up as
// hexadecimal digits (either case).
RecordSplit SplitHexRecords(std::string_view text);

}  // namespace flintcast::converter
