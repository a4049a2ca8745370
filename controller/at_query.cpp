#include "controller/at_query.h"

#include <algorithm>
#include <array>

#include "platform/clock.h"
#include "platform/serial_port.h"

namespace flintcast::controller {
namespace {

std::string Without(std::string_view text, std::string_view drop) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (drop.find(c) == std::string_view::npos) {
            out.push_back(c);
        }
    }
    return out;
}

// The text after the first `marker` up to `end`; the whole head when absent.
std::string_view After(std::string_view head, std::string_view marker) {
    const size_t at = head.find(marker);
    return at == std::string_view::npos ? head : head.substr(at + marker.size());
}

}  // namespace

std::optional<std::string> ExtractAtQueryValue(std::string_view command, std::string_view reply) {
    const size_t ok = reply.find("OK");
    if (ok == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view head = reply.substr(0, ok);
    std::string_view value = head;
    std::string_view drop = "\r\n";
    if (command == kVersionQuery) {
        size_t at = head.find(kPrimaryVersionPrefix);
        if (at == std::string_view::npos) {
            at = head.find(kSecondaryVersionPrefix);
        }
        if (at == std::string_view::npos) {
            return std::nullopt;
        }
        value = head.substr(at);
    } else if (command == kInfoQuery) {
        const size_t ver = head.find("Ver.");
        if (ver == std::string_view::npos) {
            return std::nullopt;
        }
        value = head.substr(ver + 4);
        value = value.substr(0, value.find("IMEI"));
    } else if (command == kComRefQuery) {
        value = After(head, ":");
        drop = "\r\n\" ";
    } else if (command == kFlashInfoQuery) {
        value = After(head, "AT+FLASHINFO");
        drop = "\r\n\" ";
    } else if (command == kPmuQuery) {
        value = After(head, ":");
        drop = "\r\n ";
    }
    return Without(value, drop);
}

std::optional<std::string> AtQuery(platform::SerialPort& port, const platform::Clock& clock,
                                   std::string_view command) {
    constexpr int kReads = 10;
    constexpr uint32_t kPauseMs = 100;
    constexpr size_t kReadBytes = 128;
    const auto* bytes = reinterpret_cast<const uint8_t*>(command.data());
    if (port.write(bytes, command.size()) != static_cast<int64_t>(command.size())) {
        return std::nullopt;
    }
    // A reply that arrives in pieces (echo first, result later) is judged as a
    // whole: the query keeps what came since the command was written.
    constexpr size_t kKeptBytes = 1024;
    std::array<uint8_t, kReadBytes> buffer{};
    std::string text;
    for (int i = 0; i < kReads; ++i) {
        clock.sleepMs(kPauseMs);
        const int64_t got = port.read(buffer.data(), kReadBytes);
        if (got < 0) {
            return std::nullopt;
        }
        const auto end = std::find(buffer.begin(), buffer.begin() + got, uint8_t{0});
        text.append(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(end - buffer.begin()));
        if (text.size() > kKeptBytes) {
            text.erase(0, text.size() - kKeptBytes);
        }
        if (text.find("OK") != std::string::npos) {
            return ExtractAtQueryValue(command, text);
        }
        if (text.find("ERROR") != std::string::npos) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace flintcast::controller
