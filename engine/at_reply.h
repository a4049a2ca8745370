#pragma once
// Reading the text replies of the modem port: the verdict ("OK" / "ERROR"),
// the value of a positive reply, and the pause lines of the command lists.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace flintcast::engine {

enum class AtVerdict {
    None,      // neither marker: the exchange keeps reading
    Positive,  // contains "OK" (tested first)
    Negative,  // contains "ERROR"
};

AtVerdict ClassifyAtReply(std::string_view reply);

// The text a port read delivered: everything up to the first zero byte.
std::string_view ReplyText(std::span<const uint8_t> bytes);

// Value of a positive reply: the text between the first ":" and the first "OK",
// both excluded; without a ":" all text before "OK". CR, LF and blanks stay.
std::string AtReplyValue(std::string_view reply);

// A list line that names a pause ("AT%SLEEP").
bool IsPauseLine(std::string_view line);
// Milliseconds of a pause line: the trimmed text after the first "=" read as a
// decimal number. No "=", an empty value or anything that is not a plain
// decimal number (or does not fit 32 bits) means no pause.
std::optional<uint32_t> PauseMilliseconds(std::string_view line);

}  // namespace flintcast::engine
