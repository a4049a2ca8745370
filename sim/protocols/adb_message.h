#pragma once
// The adb transport's messages: a 24-byte little-endian header (command, arg0, arg1, data
// length, data check, magic = command ^ 0xFFFFFFFF) followed by the data. The decoder checks
// the magic and the length before it takes any data byte.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace flintcast::sim {

namespace adb_cmd {
inline constexpr uint32_t kCnxn = 0x4E584E43;  // "CNXN"
inline constexpr uint32_t kOpen = 0x4E45504F;  // "OPEN"
inline constexpr uint32_t kOkay = 0x59414B4F;  // "OKAY"
inline constexpr uint32_t kClse = 0x45534C43;  // "CLSE"
inline constexpr uint32_t kWrte = 0x45545257;  // "WRTE"
inline constexpr uint32_t kAuth = 0x48545541;  // "AUTH"
inline constexpr uint32_t kSync = 0x434E5953;  // "SYNC"
}  // namespace adb_cmd

inline constexpr size_t kAdbHeaderBytes = 24;
inline constexpr uint32_t kAdbVersion = 0x01000001;     // checksums optional
inline constexpr uint32_t kAdbMaxPayload = 256 * 1024;  // what this unit announces
inline constexpr uint32_t kAdbMaxAccepted = 1024 * 1024; // the most any host may send before agreeing

struct AdbMessage {
    uint32_t command = 0;
    uint32_t arg0 = 0;
    uint32_t arg1 = 0;
    std::vector<uint8_t> data;
};

class AdbMessageDecoder {
public:
    enum class Status { Ok, BadMagic, TooLong };

    // Appends the complete messages in `bytes` to `out`. After an error the connection is
    // beyond repair: the decoder takes nothing more.
    Status Feed(std::span<const uint8_t> bytes, std::vector<AdbMessage>& out);

private:
    std::vector<uint8_t> header_;
    AdbMessage current_;
    uint32_t dataLength_ = 0;
    bool inData_ = false;
    Status failed_ = Status::Ok;
};

std::vector<uint8_t> EncodeAdbMessage(uint32_t command, uint32_t arg0, uint32_t arg1, std::span<const uint8_t> data = {});
// "CNXN" -> its four letters, for messages and logs.
std::string AdbCommandName(uint32_t command);

}  // namespace flintcast::sim
