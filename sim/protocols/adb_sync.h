#pragma once
// adbd's file sync service, spoken inside an adb stream: 8-byte requests (four-letter id and a
// little-endian length) naming a path, STAT, LIST, RECV, SEND with its DATA pieces and DONE, and
// QUIT. The service reads a byte stream, so requests may be cut anywhere by the transport.
// Lengths are checked before any byte of a path or data piece is taken.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/model/android_files.h"
#include "sim/protocols/protocol_faults.h"

namespace flintcast::sim {

inline constexpr uint32_t kSyncMaxPath = 1024;
inline constexpr uint32_t kSyncMaxData = 64 * 1024;
inline constexpr size_t kSyncMaxFile = 64 * 1024 * 1024;  // bigger pushes are refused

// Asked when a file transfer starts: after how many data bytes the unit leaves the bus.
class SyncLinkFaults {
public:
    virtual ~SyncLinkFaults() = default;
    virtual std::optional<uint64_t> DisconnectAfter() = 0;
};

class AdbSyncService {
public:
    struct Result {
        bool close = false;       // the service ends (QUIT or a request it cannot follow)
        bool changed = false;     // a file was written
        bool disconnect = false;  // the unit drops off the bus now
    };

    AdbSyncService(AndroidFiles& files, ProtocolFaultHooks* requestFaults, SyncLinkFaults* linkFaults);

    // Takes bytes from the host and appends the service's answer bytes to `out`.
    Result Feed(std::span<const uint8_t> bytes, std::vector<uint8_t>& out);

private:
    enum class Phase { Request, Path, SendHeader, SendData, Closed };

    AndroidFiles& files_;
    ProtocolFaultHooks* requestFaults_;
    SyncLinkFaults* linkFaults_;
    Phase phase_ = Phase::Request;
    std::vector<uint8_t> header_;
    uint32_t id_ = 0;
    uint32_t length_ = 0;
    std::string path_;
    std::vector<uint8_t> piece_;
    // The file being sent.
    std::string sendPath_;
    uint32_t sendMode_ = 0644;
    std::vector<uint8_t> sendData_;
    bool sendTooBig_ = false;
    RequestFault sendFault_ = RequestFault::None;
    std::optional<uint64_t> disconnectAt_;

    void OnHeader(Result& result, std::vector<uint8_t>& out);
    void OnRequest(Result& result, std::vector<uint8_t>& out);
    void OnSendHeader(Result& result, std::vector<uint8_t>& out);
    void Stat(std::vector<uint8_t>& out);
    void List(std::vector<uint8_t>& out);
    void Receive(Result& result, std::vector<uint8_t>& out);
    void FinishSend(uint32_t mtime, Result& result, std::vector<uint8_t>& out);
    void Fail(const std::string& message, std::vector<uint8_t>& out);
    RequestFault Admit(const char* request);
};

// The four-letter ids as little-endian numbers.
namespace sync_id {
inline constexpr uint32_t Make(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}
inline constexpr uint32_t kStat = Make("STAT");
inline constexpr uint32_t kList = Make("LIST");
inline constexpr uint32_t kRecv = Make("RECV");
inline constexpr uint32_t kSend = Make("SEND");
inline constexpr uint32_t kQuit = Make("QUIT");
inline constexpr uint32_t kData = Make("DATA");
inline constexpr uint32_t kDone = Make("DONE");
inline constexpr uint32_t kDent = Make("DENT");
inline constexpr uint32_t kOkay = Make("OKAY");
inline constexpr uint32_t kFail = Make("FAIL");
}  // namespace sync_id

}  // namespace flintcast::sim
