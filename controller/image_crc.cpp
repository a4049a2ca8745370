#include "controller/image_crc.h"

#include <fstream>
#include <span>
#include <system_error>
#include <vector>

#include "codec/hdlc.h"

namespace flintcast::controller {
namespace {

// Piece size of the read; the CRC does not depend on it.
constexpr std::size_t kPieceBytes = 1 << 20;

void Warn(config::MessageSink& messages, const char* text) {
    messages.show({"Warning", text, config::MessageButtons::Ok, config::MessageIcon::Warning});
}

}  // namespace

std::optional<uint16_t> ImageFileCrc(const std::filesystem::path& path, config::MessageSink& messages) {
    std::ifstream file(path, std::ios::binary);
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (!file || ec) {
        Warn(messages, "Could not open file");
        return std::nullopt;
    }
    if (size == 0) {
        Warn(messages, "file size error.");
        return std::nullopt;
    }
    std::vector<uint8_t> piece(kPieceBytes);
    uint16_t reg = hdlc::kCrcInit;
    uintmax_t remaining = size;
    while (remaining > 0) {
        const std::size_t want = remaining < kPieceBytes ? static_cast<std::size_t>(remaining) : kPieceBytes;
        file.read(reinterpret_cast<char*>(piece.data()), static_cast<std::streamsize>(want));
        if (static_cast<std::size_t>(file.gcount()) != want) {
            // The file shrank while it was read.
            Warn(messages, remaining == want ? "Read file error!" : "Read file error.");
            return std::nullopt;
        }
        reg = hdlc::CrcUpdate(reg, std::span<const uint8_t>(piece.data(), want));
        remaining -= want;
    }
    return static_cast<uint16_t>(~reg);
}

}  // namespace flintcast::controller
