// Staging throughput: the CRC-16 of a 100 MiB image against a plain read of the
// same file in the same run, and the conversion of an 800 KB HEX programmer.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "config/messages.h"
#include "controller/image_crc.h"
#include "converter/ravelin.h"
#include "platform/dynamic_library.h"
#include "devkit/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void WriteImage(const fs::path& path, std::size_t bytes) {
    std::ofstream out(path, std::ios::binary);
    std::vector<char> block(1 << 20);
    uint32_t state = 12345;
    for (auto& b : block) b = static_cast<char>((state = state * 1664525u + 1013904223u) >> 24);
    for (std::size_t done = 0; done < bytes; done += block.size()) out.write(block.data(), static_cast<std::streamsize>(block.size()));
}

double PlainReadSeconds(const fs::path& path) {
    const auto start = Clock::now();
    std::ifstream in(path, std::ios::binary);
    std::vector<char> piece(1 << 20);
    uint64_t sink = 0;
    while (in.read(piece.data(), static_cast<std::streamsize>(piece.size())) || in.gcount() > 0) sink += static_cast<uint8_t>(piece[0]);
    const double s = Seconds(start);
    if (sink == 1) std::puts("");
    return s;
}

// Intel HEX text of just under 800 KB: 16-byte records from 0x00800000.
std::string HexText(std::size_t targetBytes) {
    std::string text = ":0200000400807A\n";
    for (uint32_t offset = 0; text.size() + 60 < targetBytes; offset += 16) {
        if (offset > 0 && (offset & 0xFFFF) == 0) {
            const uint16_t word = static_cast<uint16_t>(0x0080 + (offset >> 16));
            text += fmt::format(":02000004{:04X}{:02X}\n", word, static_cast<uint8_t>(-(6 + (word >> 8) + (word & 0xFF))));
        }
        uint8_t sum = static_cast<uint8_t>(16 + ((offset >> 8) & 0xFF) + (offset & 0xFF));
        std::string line = fmt::format(":10{:04X}00", offset & 0xFFFF);
        for (int i = 0; i < 16; ++i) {
            const uint8_t b = static_cast<uint8_t>(offset + static_cast<uint32_t>(i) * 7);
            line += fmt::format("{:02X}", b);
            sum = static_cast<uint8_t>(sum + b);
        }
        text += line + fmt::format("{:02X}\n", static_cast<uint8_t>(-sum));
    }
    return text + ":00000001FF\n";
}

}  // namespace

int main() {
    flintcast::testing::TempDir dir;
    const fs::path image = dir.path() / "amss.mbn";
    constexpr std::size_t kImageBytes = 100u << 20;
    WriteImage(image, kImageBytes);
    const double mib = static_cast<double>(kImageBytes) / (1 << 20);

    PlainReadSeconds(image);  // warm the page cache for both measurements
    const double readSeconds = PlainReadSeconds(image);
    flintcast::config::RecordingMessageSink messages;
    const auto start = Clock::now();
    const auto crc = flintcast::controller::ImageFileCrc(image, messages);
    const double crcSeconds = Seconds(start);
    fmt::print("plain read of 100 MiB: {:.1f} MiB/s\n", mib / readSeconds);
    fmt::print("CRC-16 of 100 MiB:     {:.1f} MiB/s (crc {:04X})\n", mib / crcSeconds, crc.value_or(0));

    const fs::path hex = dir.path() / "programmer.hex";
    const std::string text = HexText(800 * 1000);
    std::ofstream(hex, std::ios::binary) << text;
    flintcast::platform::DynamicLibrary library;
    if (!library.open(std::string(FLINTCAST_BIN_DIR) + "/libravelin.so")) {
        fmt::print(stderr, "cannot load the converter: {}\n", library.lastError());
        return 1;
    }
    const auto convert = reinterpret_cast<RavelinFunction>(library.symbol("Ravelin"));
    constexpr int kRounds = 20;
    const auto convertStart = Clock::now();
    for (int i = 0; i < kRounds; ++i) {
        if (convert(hex.c_str(), (dir.path() / "programmer.BIN").c_str()) == 0) return 1;
    }
    fmt::print("HEX conversion of {} bytes ({} bytes out): {:.2f} ms\n", text.size(),
               fs::file_size(dir.path() / "programmer.BIN"), Seconds(convertStart) * 1000 / kRounds);
    return 0;
}
