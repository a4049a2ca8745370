#pragma once
// The converter's messages. The numbered ones name the step of the HEX file that failed.
#include <string_view>

namespace flintcast::converter {

inline constexpr std::string_view kNoEndRecord = "1:*.Hex";        // no ":00000001" record
inline constexpr std::string_view kBadDigitPair = "2:*.Hex";       // a pair that is not two hex digits
inline constexpr std::string_view kShortRecord = "3:*.Hex";        // a record shorter than 5 bytes
inline constexpr std::string_view kCountMismatch = "4:*.Hex";      // byte count does not fit the record
inline constexpr std::string_view kBeyondOutputLimit = "5:*.Hex";  // data beyond 409,600 bytes or 25,600 records
inline constexpr std::string_view kUnknownRecordType = "6:*.Hex";  // a record type the converter does not know
inline constexpr std::string_view kBadChecksum = "7:*.Hex";        // record checksum does not add up
inline constexpr std::string_view kAddressOrder = "8:*.Hex";       // address goes backwards or overlaps
inline constexpr std::string_view kOutputLengthWrong = "output bin file length was wrong";

// File messages; the path follows the text.
inline constexpr std::string_view kFileSizeWrong = "read file size was wrong:";
inline constexpr std::string_view kCannotOpenHex = "Can't open hex file:";
inline constexpr std::string_view kHexTooLarge = "Hex file is larger than 819200 bytes:";
inline constexpr std::string_view kCannotCreateBin = "Can't create bin file:";
inline constexpr std::string_view kCannotWriteBin = "Can't write bin file:";

}  // namespace flintcast::converter
