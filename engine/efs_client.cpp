#include "engine/efs_client.h"

#include <filesystem>
#include <fstream>

#include <fmt/format.h>

#include "engine/diag_exchange.h"
#include "engine/diag_requests.h"
#include "platform/atomic_file.h"

namespace flintcast::engine {
namespace {

using efs::ByteAt;
using efs::Command;
using efs::IsAnswerTo;
using efs::Le32At;

constexpr size_t kDiagTrailer = 2;  // the check sequence behind a DIAG answer's payload

// Error-number-only answers (close, unlink, mkdir, rmdir, statfs) carry it at offset 4.
uint32_t ErrnoOf(std::span<const uint8_t> reply) { return Le32At(reply, 4); }

std::string FileNameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

}  // namespace

EfsClient::EfsClient(WorkerContext& ctx, DownloadProgress* progress)
    : ctx_(ctx), progress_(progress), reader_(ctx.clock, ctx.reporter, ctx.serial) {}

template <typename Accept>
int EfsClient::DiagLoop(const std::vector<uint8_t>& request, int attempts, Accept accept) {
    for (int i = 0; i < attempts && ctx_.ok(); ++i) {
        const auto reply = DiagExchange(ctx_, request).frame;
        if (!reply.empty() && accept(reply)) return ctx_.ok() ? 0 : -1;
    }
    return ctx_.ok() ? 1 : -1;
}

template <typename Accept>
bool EfsClient::EfsLoop(const std::vector<uint8_t>& request, int attempts, Accept accept) {
    for (int i = 0; i < attempts && ctx_.ok(); ++i) {
        SendDiagRequest(ctx_, request);
        reader_.ReadEfsReply();
        if (reader_.complete() && accept(reader_.reply())) return true;
    }
    return false;
}

int EfsClient::EfsPathMissing(std::string_view path) {
    const bool answered = EfsLoop(efs::StatRequest(path), efs_attempts::kPathMissing,
                                  [](auto reply) { return IsAnswerTo(reply, Command::Stat); });
    return answered && ByteAt(reader_.reply(), efs::kStatErrnoOffset) == efs::kErrNoEntry ? 0 : 1;
}

int EfsClient::OpenEfsFileForRead(std::string_view path, uint32_t& size) {
    const bool stated = EfsLoop(efs::StatRequest(path), efs_attempts::kStatForRead, [](auto reply) {
        return IsAnswerTo(reply, Command::Stat) && ByteAt(reply, efs::kStatErrnoOffset) == 0;
    });
    const auto stat = reader_.reply();
    // A plain file: the mode's highest byte is 0 and it has exactly one link.
    if (!stated || ByteAt(stat, efs::kStatModeHighOffset) != 0 || ByteAt(stat, efs::kStatLinksOffset) != 1) return 1;
    size = Le32At(stat, efs::kStatSizeOffset);
    if (size == 0) return 0;
    const bool opened = EfsLoop(efs::OpenForReadRequest(path), efs_attempts::kOpenForRead, [](auto reply) {
        return IsAnswerTo(reply, Command::Open) && ByteAt(reply, 3) == 0 &&
               Le32At(reply, efs::kOpenErrnoOffset) == 0;  // no error number behind the handle
    });
    if (!opened) return 2;
    fileHandle_ = Le32At(reader_.reply(), efs::kHandleOffset);
    return 0;
}

int EfsClient::ReadEfsFile(const std::string& pcPath, uint32_t size) {
    ctx_.reporter.ShowStatus(LineClass::Progress, "Downloading Part of EFS...");
    // The copy is written aside and renamed into place once whole: a file of the mirror is
    // never half there, whatever happens to the tool or the PC meanwhile.
    platform::AtomicFileWriter out;
    if (!out.Open(pcPath)) {
        ctx_.reporter.ShowError(fmt::format("Could not open file:{}", pcPath));
        return 1;
    }
    if (size == 0) return out.Commit() ? 0 : 1;
    ctx_.clock.sleepMs(kEfsTransferStartWaitMs);
    ctx_.reporter.ShowStatus(LineClass::Progress, fmt::format("{} downloading, ", FileNameOf(pcPath)));

    // Each block is asked for at the count of bytes received so far, and an answer must say it
    // is the block that was asked for: a stale or short answer can never shift the file.
    uint32_t received = 0;
    while (received < size && ctx_.ok()) {
        const uint32_t offset = received;
        const uint32_t handle = fileHandle_;
        const bool read = EfsLoop(efs::ReadRequest(handle, offset), efs_attempts::kRead, [handle, offset](auto reply) {
            return IsAnswerTo(reply, Command::Read) && ByteAt(reply, 3) == 0 && Le32At(reply, 4) == handle &&
                   Le32At(reply, 8) == offset;
        });
        if (!read) return 1;
        const auto reply = reader_.reply();
        const size_t dataEnd = reply.size() - EfsReplyReader::kTrailer;
        if (dataEnd <= efs::kReadDataOffset) return 1;  // no data although the file is not done
        const uint32_t got = std::min<uint32_t>(static_cast<uint32_t>(dataEnd - efs::kReadDataOffset), size - received);
        if (!out.Write(reply.subspan(efs::kReadDataOffset, got))) return 1;
        received += got;
    }
    return received == size && out.Commit() ? 0 : 1;
}

int EfsClient::OpenEfsFileForWrite(std::string_view path) {
    const int statfs = DiagLoop(efs::StatFsRequest(), efs_attempts::kDiagRequest, [](auto reply) {
        return IsAnswerTo(reply, Command::StatFs) && ErrnoOf(reply) == 0;
    });
    if (statfs != 0) return statfs;
    const int opened = DiagLoop(efs::OpenForWriteRequest(path), efs_attempts::kDiagRequest, [](auto reply) {
        return IsAnswerTo(reply, Command::Open) && Le32At(reply, efs::kOpenErrnoOffset) == 0;
    });
    if (opened == 0) fileHandle_ = Le32At(ctx_.frames.replyBuffer().first(ctx_.frames.replyLength()), efs::kHandleOffset);
    return opened;
}

int EfsClient::WriteEfsChunk(uint32_t offset, std::span<const uint8_t> data) {
    const auto count = static_cast<uint32_t>(data.size());
    // The answer repeats handle and offset and says how many bytes were written and with which
    // error number; a refused write (a full file system) must not pass as written.
    const uint32_t handle = fileHandle_;
    return DiagLoop(efs::WriteRequest(handle, offset, data), efs_attempts::kDiagRequest, [handle, offset, count](auto reply) {
        return IsAnswerTo(reply, Command::Write) && Le32At(reply, 4) == handle &&
               Le32At(reply, 8) == offset && Le32At(reply, 12) == count && Le32At(reply, 16) == 0;
    });
}

int EfsClient::CloseEfsFile() {
    const auto request = efs::CloseRequest(fileHandle_);
    for (int attempt = 0; attempt < efs_attempts::kDiagRequest && ctx_.ok(); ++attempt) {
        const auto reply = DiagExchange(ctx_, request).frame;
        if (reply.empty() || !IsAnswerTo(reply, Command::Close)) continue;
        // A repeated close whose first answer came too late finds the file closed already.
        const uint32_t err = ErrnoOf(reply);
        if (err == 0 || (attempt > 0 && err == efs::kErrBadHandle)) return ctx_.ok() ? 0 : -1;
    }
    return ctx_.ok() ? 1 : -1;
}

void EfsClient::StreamFileToEfs(const std::string& pcPath, uint32_t size) {
    ctx_.reporter.ShowStatus(LineClass::Progress, "Downloading D030......");
    std::ifstream in(pcPath, std::ios::binary);
    if (!in) {
        ctx_.reporter.ShowError(fmt::format("Could not open BIN file: {}", pcPath));
        return;
    }
    const uint32_t blocks = (size + efs::kWriteBlockBytes - 1) / efs::kWriteBlockBytes;
    ctx_.clock.sleepMs(kEfsTransferStartWaitMs);
    ctx_.reporter.ShowStatus(LineClass::Progress, "Downloading D031......");

    std::vector<uint8_t> block(efs::kWriteBlockBytes);
    uint32_t offset = 0;
    for (uint32_t k = 0; k < blocks && ctx_.ok(); ++k) {
        const uint32_t want = std::min(efs::kWriteBlockBytes, size - offset);
        in.read(reinterpret_cast<char*>(block.data()), want);
        if (static_cast<uint32_t>(in.gcount()) != want) {
            ctx_.reporter.ShowError(fmt::format("Could not read from BIN file: {}", pcPath));
            return;
        }
        if (progress_ != nullptr) progress_->add(want);
        const std::span<const uint8_t> data(block.data(), want);
        for (int attempt = 1; attempt <= efs_attempts::kWriteChunk; ++attempt) {
            const int result = WriteEfsChunk(offset, data);
            if (result == 0) {
                if (progress_ != nullptr) progress_->show(ctx_.reporter);
                break;
            }
            if (result < 0) return;
            ctx_.reporter.ShowStatus(LineClass::Progress, "Re-Downloading D032......");
            if (attempt == efs_attempts::kWriteChunk) {
                ctx_.reporter.ShowError(fmt::format("{}, fail to write block {} of {}", FileNameOf(pcPath),
                                                    (k + 1 + 63) / 64, (blocks + 63) / 64));
                return;
            }
        }
        offset += want;
        if (want < efs::kWriteBlockBytes) break;
    }
}

int EfsClient::MakeEfsDir(std::string_view path) {
    return DiagLoop(efs::MakeDirRequest(path), efs_attempts::kDiagRequest, [](auto reply) {
        const uint32_t err = ErrnoOf(reply);
        return IsAnswerTo(reply, Command::MakeDir) && (err == 0 || err == efs::kErrExists);
    });
}

int EfsClient::RemoveEfsEmptyDir(std::string_view path) {
    return DiagLoop(efs::RemoveDirRequest(path), efs_attempts::kDiagRequest,
                    [](auto reply) { return IsAnswerTo(reply, Command::RemoveDir) && ErrnoOf(reply) == 0; });
}

int EfsClient::RemoveEfsFile(std::string_view path) {
    return DiagLoop(efs::UnlinkRequest(path), efs_attempts::kDiagRequest,
                    [](auto reply) { return IsAnswerTo(reply, Command::Unlink) && ErrnoOf(reply) == 0; });
}

int EfsClient::RemoveEfsFile(std::string_view directory, std::string_view name) {
    return RemoveEfsFile(fmt::format("{}/{}", directory, name));
}

int EfsClient::CloseEfsDir() {
    return DiagLoop(efs::CloseDirRequest(dirHandle_), efs_attempts::kDiagRequest,
                    [](auto reply) { return IsAnswerTo(reply, Command::CloseDir); });
}

int EfsClient::OpenEfsDirForListing(std::string_view path) {
    const auto request = efs::OpenDirRequest(path);
    const uint32_t start = ctx_.clock.tickMs();
    std::vector<uint8_t> answer;
    // Sent again until an answer (or the DIAG refusal 13 4B 13) comes, an error is latched,
    // or the window has passed; a device that answers in time is sent the request once.
    do {
        const DiagAnswer reply = DiagExchange(ctx_, request);
        answer.assign(reply.frame.begin(), reply.frame.end());
        const auto payload = reply.payload();
        const bool refused = diag::RefusalOf(payload, request) == diag::Refusal::BadCommand && payload.size() >= 3 &&
                             payload[2] == efs::kSubsystem;
        if (IsAnswerTo(answer, Command::OpenDir) || refused) break;
    } while (ctx_.ok() && ctx_.clock.tickMs() - start < kEfsOpenDirWindowMs);
    if (!ctx_.ok()) return -1;
    if (!IsAnswerTo(answer, Command::OpenDir) || Le32At(answer, efs::kHandleOffset) == 0 ||
        Le32At(answer, efs::kOpenErrnoOffset) != 0)
        return 1;
    dirHandle_ = Le32At(answer, efs::kHandleOffset);
    return 0;
}

bool EfsClient::ReadListingEntry(uint32_t sequence, efs::DirEntry& entry) {
    const bool read = EfsLoop(efs::ReadDirRequest(dirHandle_, sequence), efs_attempts::kListEntry,
                              [](auto reply) { return IsAnswerTo(reply, Command::ReadDir); });
    const auto reply = reader_.reply();
    if (!read || ByteAt(reply, 3) != 0 || Le32At(reply, efs::kHandleOffset) != dirHandle_) return false;
    entry = efs::DecodeDirEntry(reply, EfsReplyReader::kTrailer);
    return true;
}

int EfsClient::OpenEfsDir(std::string_view path) {
    const int result = DiagLoop(efs::OpenDirRequest(path), efs_attempts::kDiagRequest,
                                [](auto reply) { return IsAnswerTo(reply, Command::OpenDir); });
    if (result != 0) return result;
    // An answer with an error number is the device saying the directory cannot be opened:
    // asking again would get the same answer.
    const auto reply = ctx_.frames.replyBuffer().first(ctx_.frames.replyLength());
    if (Le32At(reply, efs::kOpenErrnoOffset) != 0) return 1;
    dirHandle_ = Le32At(reply, efs::kHandleOffset);
    return 0;
}

int EfsClient::ReadDirEntry(uint32_t sequence, efs::DirEntry& entry) {
    const int result = DiagLoop(efs::ReadDirRequest(dirHandle_, sequence), efs_attempts::kDiagRequest,
                                [](auto reply) { return IsAnswerTo(reply, Command::ReadDir); });
    if (result == 0) {
        const auto reply = ctx_.frames.replyBuffer().first(ctx_.frames.replyLength());
        entry = efs::DecodeDirEntry(reply, kDiagTrailer);
    }
    return result;
}

}  // namespace flintcast::engine
