#include "engine/fastboot_transport.h"

#include <charconv>

#include <fmt/format.h>

#include "engine/fastboot_tcp_transport.h"
#include "engine/fastboot_usb_transport.h"

namespace flintcast::engine {
namespace {

template <typename T>
std::optional<T> ParseDecimal(std::string_view text) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<FastbootLinkName> ParseFastbootLinkName(std::string_view name) {
    const size_t last = name.rfind(':');
    if (last == std::string_view::npos) return std::nullopt;
    FastbootLinkName link;
    if (name.starts_with("tcp:")) {
        link.kind = FastbootLinkName::Kind::Tcp;
        if (last < 4) return std::nullopt;
        link.host = std::string(name.substr(4, last - 4));
        const auto port = ParseDecimal<uint16_t>(name.substr(last + 1));
        if (link.host.empty() || !port || *port == 0) return std::nullopt;
        link.port = *port;
        return link;
    }
    if (name.starts_with("usb:")) {
        link.kind = FastbootLinkName::Kind::Usb;
        if (last < 4) return std::nullopt;
        const auto bus = ParseDecimal<int>(name.substr(4, last - 4));
        const auto device = ParseDecimal<int>(name.substr(last + 1));
        if (!bus || !device || *bus <= 0 || *device <= 0 || *bus > 255 || *device > 255) return std::nullopt;
        link.bus = *bus;
        link.device = *device;
        return link;
    }
    return std::nullopt;
}

FastbootConnection OpenFastbootTransport(const platform::Clock& clock, std::string_view name) {
    const auto link = ParseFastbootLinkName(name);
    if (!link) return {nullptr, fmt::format("\"{}\" names no fastboot link", name)};
    if (link->kind == FastbootLinkName::Kind::Tcp) {
        auto tcp = std::make_unique<FastbootTcpTransport>(clock);
        if (!tcp->Connect(link->host, link->port)) return {nullptr, tcp->lastError()};
        return {std::move(tcp), {}};
    }
    auto usb = std::make_unique<FastbootUsbTransport>(clock);
    if (!usb->Open(link->bus, link->device)) return {nullptr, usb->lastError(), usb->libraryUnavailable()};
    return {std::move(usb), {}};
}

}  // namespace flintcast::engine
