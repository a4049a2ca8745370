#include "engine/fastboot_commands.h"

#include <algorithm>
#include <array>
#include <charconv>

#include <fmt/format.h>

namespace flintcast::engine {
namespace {

constexpr uint64_t kLargeChunk = 0x2FFFDC0;  // system and userdata
constexpr uint64_t kSmallChunk = 0x2FFF800;  // boot, recovery and splash

constexpr std::array kRules{
    FastbootImageRule{"recovery", ImageSlot::FastbootRecovery, 60000, kSmallChunk, 50,
                      "RecoveryImageWriteFinishedCmd failure", "Recovery Image Write Finished Cmd failure"},
    FastbootImageRule{"boot", ImageSlot::FastbootBoot, 60000, kSmallChunk, 50, "BootImageWriteFinishedCmd failure",
                      "Boot Image Write Finished Cmd failure"},
    FastbootImageRule{"system", ImageSlot::FastbootSystem, 80000, kLargeChunk, 10,
                      "SystemImageWriteFinishedCmd failure", "System Image Write Finished Cmd failure"},
    FastbootImageRule{"userdata", ImageSlot::FastbootUserdata, 60000, kLargeChunk, 50,
                      "UserdataImageWriteFinishedCmd failure", "Userdata Image Write Finished Cmd failure"},
    FastbootImageRule{"splash", ImageSlot::FastbootSplash, 60000, kSmallChunk, 50,
                      "SplashImageWriteFinishedCmd failure", "Splash Image Write Finished Cmd failure"},
};

}  // namespace

const FastbootImageRule& RuleFor(FastbootImage image) { return kRules[static_cast<size_t>(image)]; }

std::string DownloadCommand(uint32_t length) { return fmt::format("download:{:08x}", length); }

std::string FlashCommand(FastbootImage image) { return fmt::format("flash:{}", RuleFor(image).partition); }

std::string ChunkFlashCommand(FastbootImage image, bool last) {
    return fmt::format("mutilflash:{}:{}", last ? 1 : 0, RuleFor(image).partition);
}

std::optional<std::vector<FastbootChunk>> PlanChunks(uint64_t fileSize, const FastbootImageRule& rule) {
    std::vector<FastbootChunk> chunks;
    if (fileSize == 0) {
        chunks.push_back({0, 0, true});
        return chunks;
    }
    for (uint64_t offset = 0; offset < fileSize; offset += rule.chunkSize) {
        if (static_cast<int>(chunks.size()) == rule.maxChunks) return std::nullopt;
        const uint64_t rest = fileSize - offset;
        const uint64_t length = std::min(rest, rule.chunkSize);
        chunks.push_back({offset, static_cast<uint32_t>(length), rest <= rule.chunkSize});
    }
    return chunks;
}

FastbootReply ParseFastbootReply(std::span<const uint8_t> bytes) {
    FastbootReply reply;
    if (bytes.size() < 4) return reply;
    const std::string_view head(reinterpret_cast<const char*>(bytes.data()), 4);
    if (head == "OKAY") reply.kind = FastbootReply::Kind::Okay;
    else if (head == "INFO") reply.kind = FastbootReply::Kind::Info;
    else if (head == "FAIL") reply.kind = FastbootReply::Kind::Fail;
    else if (head == "DATA") reply.kind = FastbootReply::Kind::Data;
    else return reply;
    // The text stops at the first NUL: some bootloaders send C strings.
    for (size_t i = 4; i < bytes.size() && bytes[i] != 0; ++i) {
        const char c = static_cast<char>(bytes[i]);
        reply.text.push_back(c >= 0x20 && c < 0x7F ? c : '?');
    }
    return reply;
}

std::optional<uint32_t> DataReplyLength(const FastbootReply& reply) {
    if (reply.kind != FastbootReply::Kind::Data || reply.text.size() != 8) return std::nullopt;
    uint32_t value = 0;
    const char* first = reply.text.data();
    const auto [end, ec] = std::from_chars(first, first + 8, value, 16);
    if (ec != std::errc() || end != first + 8) return std::nullopt;
    return value;
}

std::string HexOfReply(std::span<const uint8_t> buffer) {
    std::string out;
    for (size_t i = 0; i < 16; ++i) out += fmt::format(" {:02X}", i < buffer.size() ? buffer[i] : 0);
    return out;
}

}  // namespace flintcast::engine
