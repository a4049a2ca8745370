#pragma once
// The worker's EFS2 requests over the diagnostic port, each with its attempt loop and the rule
// by which it accepts an answer. Results follow the worker's convention: 0 done, a positive
// code for a refusal, -1 when the worker's error was already latched.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/download_progress.h"
#include "engine/efs_reply_reader.h"
#include "engine/efs_requests.h"
#include "engine/worker_context.h"

namespace flintcast::engine {

namespace efs_attempts {
inline constexpr int kDiagRequest = 100;    // every request read through the DIAG exchange
inline constexpr int kPathMissing = 5;
inline constexpr int kStatForRead = 10;
inline constexpr int kOpenForRead = 10;
inline constexpr int kRead = 10;
inline constexpr int kListEntry = 5;
inline constexpr int kWriteChunk = 3;       // each of them a full request loop
}  // namespace efs_attempts

// Waits of the file transfers (tool time).
inline constexpr uint32_t kEfsTransferStartWaitMs = 500;
inline constexpr uint32_t kEfsOpenDirWindowMs = 500;

class EfsClient {
public:
    // `progress` (may be null) counts the bytes StreamFileToEfs writes and drives the slot's bar.
    explicit EfsClient(WorkerContext& ctx, DownloadProgress* progress = nullptr);

    // 0 only when the device answers the status of `path` with error number 2.
    int EfsPathMissing(std::string_view path);
    // 0 opened (or size 0: nothing opened); 1 status failed or not a plain file; 2 open failed.
    int OpenEfsFileForRead(std::string_view path, uint32_t& size);
    // Copies the open device file (`size` bytes) into a new PC file; 0 or 1.
    int ReadEfsFile(const std::string& pcPath, uint32_t size);
    int OpenEfsFileForWrite(std::string_view path);
    int WriteEfsChunk(uint32_t offset, std::span<const uint8_t> data);
    int CloseEfsFile();
    // Writes `size` bytes of a PC file into the device file opened for writing.
    void StreamFileToEfs(const std::string& pcPath, uint32_t size);

    // 0 also when the directory is already there (error number 6).
    int MakeEfsDir(std::string_view path);
    int RemoveEfsEmptyDir(std::string_view path);
    int RemoveEfsFile(std::string_view path);
    int RemoveEfsFile(std::string_view directory, std::string_view name);
    int CloseEfsDir();

    // Directory listing of EnumEfsDir: the open tried within a 500 ms window (0 opened, 1 not
    // opened, -1 latched), then entries read with the EFS reader.
    int OpenEfsDirForListing(std::string_view path);
    // True when entry `sequence` came back as an accepted, complete answer for the open directory.
    bool ReadListingEntry(uint32_t sequence, efs::DirEntry& entry);

    // Directory access of RemoveEfsDir, with the 100-attempt request loops.
    int OpenEfsDir(std::string_view path);
    int ReadDirEntry(uint32_t sequence, efs::DirEntry& entry);

    WorkerContext& context() { return ctx_; }

private:
    WorkerContext& ctx_;
    DownloadProgress* progress_;
    EfsReplyReader reader_;
    // The handles the device's table gave the open file and the open directory. The worker has
    // at most one of each open; a close names the last one opened.
    uint32_t fileHandle_ = 0;
    uint32_t dirHandle_ = 0;

    // Request loop over the DIAG exchange: 0 accepted, 1 not, -1 latched. The accepted answer
    // stays in the frame layer's reply buffer.
    template <typename Accept>
    int DiagLoop(const std::vector<uint8_t>& request, int attempts, Accept accept);
    // Request loop over the EFS reader: true when an answer was accepted and complete.
    template <typename Accept>
    bool EfsLoop(const std::vector<uint8_t>& request, int attempts, Accept accept);
};

}  // namespace flintcast::engine
