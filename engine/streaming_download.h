#pragma once
// The streaming download protocol as the worker speaks it with the running
// flash programmer: the session opening (hello, security mode, partition
// table), open/stream/close of an image, reset and power off, and the fast
// transfer of large images in 20 MiB parts.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/download_progress.h"
#include "engine/worker_context.h"

namespace flintcast::engine {

class DeviceDirectory;

// Poll rule of the write-flash confirmation, by part length.
struct WriteFlashPoll {
    uint32_t initialPauseMs;
    uint32_t intervalMs;
    int polls;
};
WriteFlashPoll WriteFlashPollFor(uint32_t partLength);

class StreamingDownload {
public:
    static constexpr int kHelloAttempts = 50;
    static constexpr uint32_t kHelloPauseMs = 5000;
    static constexpr int kSecurityAttempts = 50;
    static constexpr uint32_t kRetryMs = 500;
    static constexpr int kOpenAttempts = 10;
    static constexpr int kCloseAttempts = 10;
    static constexpr int kStreamWriteAttempts = 25;
    static constexpr uint32_t kStreamWriteRetryMs = 100;
    static constexpr int kPowerOffReads = 5;
    static constexpr uint32_t kPowerOffReadGapMs = 100;
    // Longest raw acknowledgement of a stream write: every byte between the flags stuffed.
    static constexpr size_t kMaxAckBytes = 2 + 2 * 7;

    static constexpr uint32_t kFastPartBytes = 0x1400000;
    static constexpr int kFastRounds = 20;
    static constexpr uint32_t kFastRoundPauseMs = 500;
    static constexpr int kFastHandshakeAttempts = 20;
    static constexpr uint32_t kFastHandshakePauseMs = 1000;
    static constexpr int kTransmitResetReads = 3;
    static constexpr size_t kFastReplyBytes = 512;

    // `directory` is needed by Reset (it clears the device-change flags).
    StreamingDownload(WorkerContext& ctx, DownloadProgress& progress, DeviceDirectory* directory = nullptr);

    // Configured "BlockSize" and "bFastSpeedDownload" of the run.
    uint32_t blockSize = 1024;
    bool fastSpeed = false;
    // Fastboot images selected: the partition table is sent with the override flag at once.
    bool fastbootImagesSelected = false;
    // The staged partition table file.
    std::string partitionTablePath;

    // Each returns 0 on success, a positive value on failure, -1 when the
    // worker's error is latched.
    int32_t SendHello();
    // One hello, one timed read: true when a running flash programmer answered it.
    bool ProgrammerAnswers();
    int32_t SendSecurityMode();
    int32_t SendPartitionTable();
    int32_t SendPartitionTableOverride();
    int32_t OpenImage(uint8_t type, std::span<const uint8_t> extra);
    int32_t StreamWrite(uint32_t address, std::span<const uint8_t> data);
    int32_t CloseImage();
    int32_t Reset();
    int32_t PowerOff();
    // Hello, security mode and partition table; failures are latched.
    void OpenSession();
    // The fast transfer of one image; true when every part was written.
    bool FastTransfer(const std::string& path, uint32_t size, uint16_t checkValue);

private:
    WorkerContext& ctx_;
    DownloadProgress& progress_;
    DeviceDirectory* directory_;

    void buildFrame(std::span<const uint8_t> payload);
    // The last read brought a whole, well-formed frame into the reply buffer.
    bool wellFormed(uint16_t readerResult) const;
    // ... and it starts with `code`.
    bool replyStartsWith(uint16_t readerResult, uint8_t code) const;
    int32_t sendPartitionTable(bool override);
    // Reads the stream write acknowledgement and checks it against `address`.
    bool readStreamWriteAck(uint32_t address);

    void transferPart(const std::string& path, uint32_t offset, uint32_t length, uint16_t checkValue);
    bool resynchronise(uint32_t offset, uint32_t length, uint16_t checkValue, const std::string& name);
    bool announcePart(uint32_t offset, uint32_t length, uint16_t checkValue, const std::string& name);
    bool sendPartBlocks(const std::string& path, uint32_t offset, uint32_t length);
    void writeFlash(uint32_t length, const std::string& name);
    // One plain read of up to 512 bytes, completed to `minimum` bytes when the
    // device's answer came in pieces.
    size_t readFastReply(size_t minimum);
    std::vector<uint8_t> fastReply_;
    std::vector<uint8_t> blockBuffer_;
};

}  // namespace flintcast::engine
