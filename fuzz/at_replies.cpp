// The modem port's text replies: the verdict, the value of a positive reply, the pause lines
// of the command lists and the cleaning of identity values, over any bytes a port read gives.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "engine/at_reply.h"
#include "engine/identity.h"
#include "fuzz/fuzz_check.h"

using namespace flintcast::engine;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    const std::string_view text = ReplyText(bytes);
    // The reply text is the read up to its first zero byte.
    FUZZ_CHECK(text.size() <= size);
    FUZZ_CHECK(text.find('\0') == std::string_view::npos);
    FUZZ_CHECK(text.size() == size || data[text.size()] == 0);

    const AtVerdict verdict = ClassifyAtReply(text);
    const bool hasOk = text.find("OK") != std::string_view::npos;
    const bool hasError = text.find("ERROR") != std::string_view::npos;
    FUZZ_CHECK((verdict == AtVerdict::Positive) == hasOk);
    FUZZ_CHECK((verdict == AtVerdict::Negative) == (!hasOk && hasError));

    const std::string value = AtReplyValue(text);
    FUZZ_CHECK(value.size() <= text.size());
    FUZZ_CHECK(text.find(value) != std::string_view::npos);

    // A pause is a plain decimal number that fits 32 bits; its digits read back to it.
    if (IsPauseLine(text)) {
        if (const auto ms = PauseMilliseconds(text)) {
            const size_t eq = text.find('=');
            FUZZ_CHECK(eq != std::string_view::npos);
            FUZZ_CHECK(text.substr(eq + 1).find(std::to_string(*ms)) != std::string_view::npos ||
                       text.substr(eq + 1).find('0') != std::string_view::npos);
        }
    } else {
        (void)PauseMilliseconds(text);
    }

    const std::string stripped = StripReply(text);
    FUZZ_CHECK(stripped.find_first_of("\r\n\"") == std::string::npos);
    FUZZ_CHECK(stripped.size() + static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
                   return c == '\r' || c == '\n' || c == '"';
               })) == text.size());
    const std::string unbroken = StripLineBreaks(text);
    FUZZ_CHECK(unbroken.find_first_of("\r\n") == std::string::npos);
    for (bool uitNewWays : {false, true}) {
        const std::string info = CleanTestInfo(value, uitNewWays);
        FUZZ_CHECK(info.find_first_of("\r\n") == std::string::npos);
        FUZZ_CHECK(info.size() <= value.size());
        FUZZ_CHECK(std::none_of(info.begin(), info.end(), [](char c) { return c >= 'a' && c <= 'z'; }));
    }
    return 0;
}
