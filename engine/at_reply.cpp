#include "engine/at_reply.h"

#include <algorithm>
#include <charconv>

namespace flintcast::engine {

AtVerdict ClassifyAtReply(std::string_view reply) {
    if (reply.find("OK") != std::string_view::npos) {
        return AtVerdict::Positive;
    }
    if (reply.find("ERROR") != std::string_view::npos) {
        return AtVerdict::Negative;
    }
    return AtVerdict::None;
}

std::string_view ReplyText(std::span<const uint8_t> bytes) {
    const auto end = std::find(bytes.begin(), bytes.end(), uint8_t{0});
    return {reinterpret_cast<const char*>(bytes.data()),
            static_cast<size_t>(end - bytes.begin())};
}

std::string AtReplyValue(std::string_view reply) {
    const size_t ok = reply.find("OK");
    const std::string_view head = ok == std::string_view::npos ? reply : reply.substr(0, ok);
    const size_t colon = head.find(':');
    if (colon == std::string_view::npos) {
        return std::string(head);
    }
    return std::string(head.substr(colon + 1));
}

bool IsPauseLine(std::string_view line) {
    return line.find("AT%SLEEP") != std::string_view::npos;
}

namespace {
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
}  // namespace

std::optional<uint32_t> PauseMilliseconds(std::string_view line) {
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view value = line.substr(eq + 1);
    while (!value.empty() && IsBlank(value.front())) {
        value.remove_prefix(1);
    }
    while (!value.empty() && IsBlank(value.back())) {
        value.remove_suffix(1);
    }
    if (value.empty()) {
        return std::nullopt;
    }
    uint32_t ms = 0;
    const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), ms);
    if (ec != std::errc() || ptr != value.data() + value.size()) {
        return std::nullopt;
    }
    return ms;
}

}  // namespace flintcast::engine
