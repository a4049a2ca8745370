#pragma once
// The worker's fastboot stage: finding and opening the device's fastboot link, writing each
// selected image (whole, or in "mutilflash" chunks) with its download and flash commands,
// the final continue command and the close. It runs as the only stage of a fastboot-only
// update, or after the streaming stage and the reset that follows it.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/fastboot_commands.h"
#include "engine/fastboot_transport.h"
#include "engine/image_set.h"
#include "engine/worker_context.h"

namespace flintcast::engine {

class DeviceDirectory;
class DownloadProgress;

// Which images a configuration writes, and which of them go in chunks.
struct FastbootSelection {
    bool selected[5] = {};
    bool chunked[5] = {};
    bool any() const;
};
FastbootSelection SelectionOf(const config::ProjectConfig& config);

// Why the selected images cannot be written (a missing file, a size the download command
// cannot describe, more chunks than the limit), checked before anything goes to the device;
// nullopt when they can.
std::optional<std::string> FastbootImagesProblem(const FastbootSelection& selection, const ImageSet& images);

class FastbootStage {
public:
    static constexpr int kLookupAttempts = 150;
    static constexpr uint32_t kLookupPauseMs = 2000;
    static constexpr uint32_t kStepPauseMs = 200;
    // Reply buffer: the longest fastboot reply is 64 bytes.
    static constexpr size_t kReplyBytes = 64;
    // INFO lines accepted before one reply; a device that sends more is out of step.
    static constexpr int kMaxInfoLines = 256;

    FastbootStage(WorkerContext& ctx, DownloadProgress& progress, DeviceDirectory& directory,
                  const ImageSet& images, FastbootSelection selection, FastbootConnector connect);
    ~FastbootStage();

    // After the streaming stage: waits for the device's fastboot link (lookup index 0).
    void RunFastbootStage();
    // A fastboot-only update on the worker's own device.
    void RunFastbootOnly();

    // The steps, each false after its error line (or when an error was already latched).
    bool ConnectInterface(const std::string& name);
    bool OpenEndpoints();
    bool Handshake(uint32_t length);
    bool BulkWrite(const std::string& file, uint32_t length);
    bool BulkWriteChunk(const std::string& file, uint32_t length, uint64_t chunkSize, uint32_t chunkIndex);
    bool ReceiveOkay();
    bool SendFlashCommand(FastbootImage image);
    bool SendChunkFlashCommand(FastbootImage image, bool last);
    bool SendContinue();
    bool CloseConnection();

    // Why the last ConnectInterface failed.
    const std::string& connectError() const { return connectError_; }
    // True when the last failure to connect will not mend itself by waiting (no libusb).
    bool connectFailureLasting() const { return connectFailureLasting_; }

private:
    WorkerContext& ctx_;
    DownloadProgress& progress_;
    DeviceDirectory& directory_;
    const ImageSet& images_;
    FastbootSelection selection_;
    FastbootConnector connect_;
    std::unique_ptr<FastbootTransport> link_;
    std::string connectError_;
    bool connectFailureLasting_ = false;
    int32_t gauge_ = 0;

    bool ok() const { return ctx_.ok(); }
    void Status(std::string_view text);
    void Line(std::string_view text);
    bool SendCommand(std::string_view command, uint32_t timeoutMs);
    // Reads one reply, skipping INFO lines (each shown); false when the read failed.
    bool ReadReply(uint32_t timeoutMs, std::array<uint8_t, kReplyBytes>& buffer, size_t& got);
    bool SendData(const std::string& file, uint64_t offset, uint32_t length);
    void WriteImages();
    bool WriteWhole(FastbootImage image, const std::string& file);
    bool WriteInChunks(FastbootImage image, const std::string& file);
    void ShowGauge();
};

}  // namespace flintcast::engine
