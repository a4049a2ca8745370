#include "sim/protocols/efs_service.h"

#include <algorithm>

#include "sim/protocols/diag_replies.h"
#include "sim/protocols/wire.h"

namespace flintcast::sim {
namespace {

constexpr size_t kHeader = 4;  // 4B 13 and the 16-bit command code

// Open flags of the request (POSIX values as the service uses them).
constexpr uint32_t kAccessMask = 0x3;
constexpr uint32_t kWriteOnly = 0x1;
constexpr uint32_t kReadWrite = 0x2;
constexpr uint32_t kCreate = 0x40;
constexpr uint32_t kExclusive = 0x80;
constexpr uint32_t kTruncate = 0x200;

constexpr uint32_t kBlockBytes = 512;

std::vector<uint8_t> Header(std::span<const uint8_t> req) {
    return std::vector<uint8_t>(req.begin(), req.begin() + kHeader);
}

std::vector<uint8_t> ErrnoOnly(std::span<const uint8_t> req, int32_t err) {
    auto reply = Header(req);
    wire::PutLe32(reply, static_cast<uint32_t>(err));
    return reply;
}

}  // namespace

// Files and directories share one descriptor table, as on the device: the first handles are
// taken by the file system itself, and a closed handle is given out again.
int32_t EfsService::FreeHandle(size_t openLimit, size_t openNow) const {
    if (openNow >= openLimit) return -1;
    int32_t handle = kFirstHandle;
    while (files_.count(handle) || dirs_.count(handle)) ++handle;
    return handle;
}

std::string EfsService::KindOf(std::span<const uint8_t> request) {
    if (request.size() < kHeader) return "diag.efs.short";
    switch (wire::Le16(request, 2)) {
    case efs_cmd::kOpen: return "diag.efs.open";
    case efs_cmd::kClose: return "diag.efs.close";
    case efs_cmd::kRead: return "diag.efs.read";
    case efs_cmd::kWrite: return "diag.efs.write";
    case efs_cmd::kUnlink: return "diag.efs.unlink";
    case efs_cmd::kMkdir: return "diag.efs.mkdir";
    case efs_cmd::kRmdir: return "diag.efs.rmdir";
    case efs_cmd::kOpenDir: return "diag.efs.opendir";
    case efs_cmd::kReadDir: return "diag.efs.readdir";
    case efs_cmd::kCloseDir: return "diag.efs.closedir";
    case efs_cmd::kStat: return "diag.efs.stat";
    case efs_cmd::kStatFs: return "diag.efs.statfs";
    default: return "diag.efs.unknown";
    }
}

std::vector<uint8_t> EfsService::Handle(std::span<const uint8_t> request, DeviceModel& model) {
    if (request.size() < kHeader) return DiagRefusal(kDiagBadLength, request);
    switch (wire::Le16(request, 2)) {
    case efs_cmd::kOpen: return Open(request, model);
    case efs_cmd::kClose: return Close(request);
    case efs_cmd::kRead: return Read(request, model);
    case efs_cmd::kWrite: return Write(request, model);
    case efs_cmd::kUnlink:
    case efs_cmd::kRmdir: return PathOnly(request, model, wire::Le16(request, 2));
    case efs_cmd::kMkdir: return Mkdir(request, model);
    case efs_cmd::kOpenDir: return OpenDirectory(request, model);
    case efs_cmd::kReadDir: return ReadDirectory(request, model);
    case efs_cmd::kCloseDir: return CloseDirectory(request);
    case efs_cmd::kStat: return Stat(request, model);
    case efs_cmd::kStatFs: return StatFs(request, model);
    default: return DiagRefusal(kDiagBadCommand, request);
    }
}

// open: flags (4), mode (4), path -> handle (4), errno (4)
std::vector<uint8_t> EfsService::Open(std::span<const uint8_t> req, DeviceModel& model) {
    std::string path;
    if (req.size() < kHeader + 9) return DiagRefusal(kDiagBadLength, req);
    if (!wire::CString(req, kHeader + 8, path)) return DiagRefusal(kDiagBadParameter, req);
    const uint32_t flags = wire::Le32(req, kHeader);
    const uint32_t mode = wire::Le32(req, kHeader + 4);
    const uint32_t access = flags & kAccessMask;
    const bool writable = access == kWriteOnly || access == kReadWrite;

    int32_t err = efs_errno::kOk;
    const int32_t handle = FreeHandle(kMaxOpenFiles, files_.size());
    if (handle < 0) {
        err = efs_errno::kTooManyOpen;
    } else if (access == kAccessMask) {
        err = efs_errno::kInvalid;
    } else if ((flags & kCreate) && (flags & kExclusive) && model.efs.Find(path) != nullptr) {
        err = efs_errno::kExists;
    } else {
        err = model.efs.OpenFile(path, (flags & kCreate) != 0, writable && (flags & kTruncate), mode);
    }
    auto reply = Header(req);
    if (err != efs_errno::kOk) {
        wire::PutLe32(reply, 0xFFFFFFFF);
        wire::PutLe32(reply, static_cast<uint32_t>(err));
        return reply;
    }
    files_[handle] = OpenFile{*EfsTree::Normalize(path), access != kWriteOnly, writable};
    wire::PutLe32(reply, static_cast<uint32_t>(handle));
    wire::PutLe32(reply, 0);
    return reply;
}

// close: handle (4) -> errno (4)
std::vector<uint8_t> EfsService::Close(std::span<const uint8_t> req) {
    if (req.size() != kHeader + 4) return DiagRefusal(kDiagBadLength, req);
    const int32_t handle = static_cast<int32_t>(wire::Le32(req, kHeader));
    return ErrnoOnly(req, files_.erase(handle) ? efs_errno::kOk : efs_errno::kBadHandle);
}

// read: handle (4), count (4), offset (4) -> handle, offset, bytes read, errno, data at 20
std::vector<uint8_t> EfsService::Read(std::span<const uint8_t> req, DeviceModel& model) {
    if (req.size() != kHeader + 12) return DiagRefusal(kDiagBadLength, req);
    const uint32_t handle = wire::Le32(req, kHeader);
    const uint32_t count = std::min(wire::Le32(req, kHeader + 4), kMaxReadBytes);
    const uint32_t offset = wire::Le32(req, kHeader + 8);
    std::vector<uint8_t> data;
    int32_t err = efs_errno::kOk;
    const auto it = files_.find(static_cast<int32_t>(handle));
    if (it == files_.end() || !it->second.readable) {
        err = efs_errno::kBadHandle;
    } else {
        err = model.efs.Read(it->second.path, offset, count, data);
    }
    auto reply = Header(req);
    wire::PutLe32(reply, handle);
    wire::PutLe32(reply, offset);
    wire::PutLe32(reply, err == efs_errno::kOk ? static_cast<uint32_t>(data.size()) : 0xFFFFFFFF);
    wire::PutLe32(reply, static_cast<uint32_t>(err));
    reply.insert(reply.end(), data.begin(), data.end());
    return reply;
}

// write: handle (4), offset (4), data -> handle, offset, bytes written, errno
std::vector<uint8_t> EfsService::Write(std::span<const uint8_t> req, DeviceModel& model) {
    if (req.size() < kHeader + 8) return DiagRefusal(kDiagBadLength, req);
    const uint32_t handle = wire::Le32(req, kHeader);
    const uint32_t offset = wire::Le32(req, kHeader + 4);
    const size_t count = req.size() - kHeader - 8;
    int32_t err = efs_errno::kOk;
    const auto it = files_.find(static_cast<int32_t>(handle));
    if (it == files_.end() || !it->second.writable) {
        err = efs_errno::kBadHandle;
    } else if (uint64_t{offset} + count > kEfsCapacityBytes) {
        err = efs_errno::kFileTooBig;
    } else {
        err = model.efs.Write(it->second.path, offset, req.data() + kHeader + 8, count);
    }
    auto reply = Header(req);
    wire::PutLe32(reply, handle);
    wire::PutLe32(reply, offset);
    wire::PutLe32(reply, err == efs_errno::kOk ? static_cast<uint32_t>(count) : 0xFFFFFFFF);
    wire::PutLe32(reply, static_cast<uint32_t>(err));
    return reply;
}

// unlink, rmdir: path -> errno
std::vector<uint8_t> EfsService::PathOnly(std::span<const uint8_t> req, DeviceModel& model, uint16_t cmd) {
    std::string path;
    if (req.size() < kHeader + 1) return DiagRefusal(kDiagBadLength, req);
    if (!wire::CString(req, kHeader, path)) return DiagRefusal(kDiagBadParameter, req);
    const int32_t err = cmd == efs_cmd::kUnlink ? model.efs.Unlink(path) : model.efs.RemoveDir(path);
    return ErrnoOnly(req, err);
}

// mkdir: mode (2), path -> errno
std::vector<uint8_t> EfsService::Mkdir(std::span<const uint8_t> req, DeviceModel& model) {
    std::string path;
    if (req.size() < kHeader + 3) return DiagRefusal(kDiagBadLength, req);
    if (!wire::CString(req, kHeader + 2, path)) return DiagRefusal(kDiagBadParameter, req);
    return ErrnoOnly(req, model.efs.MakeDir(path, wire::Le16(req, kHeader)));
}

// opendir: path -> directory handle (4), errno (4)
std::vector<uint8_t> EfsService::OpenDirectory(std::span<const uint8_t> req, DeviceModel& model) {
    std::string path;
    if (req.size() < kHeader + 1) return DiagRefusal(kDiagBadLength, req);
    if (!wire::CString(req, kHeader, path)) return DiagRefusal(kDiagBadParameter, req);
    std::vector<std::string> names;
    int32_t err = model.efs.List(path, names);
    const int32_t handle = FreeHandle(kMaxOpenDirs, dirs_.size());
    if (err == efs_errno::kOk && handle < 0) err = efs_errno::kTooManyOpen;
    auto reply = Header(req);
    if (err != efs_errno::kOk) {
        wire::PutLe32(reply, 0);
        wire::PutLe32(reply, static_cast<uint32_t>(err));
        return reply;
    }
    dirs_[handle] = OpenDir{*EfsTree::Normalize(path), std::move(names)};
    wire::PutLe32(reply, static_cast<uint32_t>(handle));
    wire::PutLe32(reply, 0);
    return reply;
}

// readdir: handle (4), sequence number (4, from 1) -> handle, sequence, errno, entry type at
// 16, mode at 20, size, three times, name at 40. Past the last entry: type 0, mode 0, name "".
std::vector<uint8_t> EfsService::ReadDirectory(std::span<const uint8_t> req, DeviceModel& model) {
    if (req.size() != kHeader + 8) return DiagRefusal(kDiagBadLength, req);
    const uint32_t handle = wire::Le32(req, kHeader);
    const uint32_t sequence = wire::Le32(req, kHeader + 4);
    int32_t err = efs_errno::kOk;
    uint32_t type = 0, mode = 0, size = 0;
    std::string name;
    const auto it = dirs_.find(static_cast<int32_t>(handle));
    if (it == dirs_.end()) {
        err = efs_errno::kBadHandle;
    } else if (sequence == 0) {
        err = efs_errno::kInvalid;
    } else if (sequence <= it->second.names.size()) {
        const std::string& entryName = it->second.names[sequence - 1];
        const std::string full = it->second.path == "/" ? "/" + entryName : it->second.path + "/" + entryName;
        // An entry removed since the directory was opened reads as the end of the listing.
        if (const EfsNode* node = model.efs.Find(full)) {
            type = node->isDir ? 1 : 0;
            mode = node->mode;
            size = node->isDir ? 0 : static_cast<uint32_t>(node->contents.size());
            name = entryName;
        }
    }
    auto reply = Header(req);
    wire::PutLe32(reply, handle);
    wire::PutLe32(reply, sequence);
    wire::PutLe32(reply, static_cast<uint32_t>(err));
    wire::PutLe32(reply, type);
    wire::PutLe32(reply, mode);
    wire::PutLe32(reply, size);
    for (int i = 0; i < 3; ++i) wire::PutLe32(reply, 0);  // access, modification, change times
    wire::PutText(reply, name);
    reply.push_back(0);
    return reply;
}

// closedir: handle (4) -> errno
std::vector<uint8_t> EfsService::CloseDirectory(std::span<const uint8_t> req) {
    if (req.size() != kHeader + 4) return DiagRefusal(kDiagBadLength, req);
    const int32_t handle = static_cast<int32_t>(wire::Le32(req, kHeader));
    return ErrnoOnly(req, dirs_.erase(handle) ? efs_errno::kOk : efs_errno::kBadHandle);
}

// stat: path -> errno at 4, mode at 8, size at 12, link count at 16, three times
std::vector<uint8_t> EfsService::Stat(std::span<const uint8_t> req, DeviceModel& model) {
    std::string path;
    if (req.size() < kHeader + 1) return DiagRefusal(kDiagBadLength, req);
    if (!wire::CString(req, kHeader, path)) return DiagRefusal(kDiagBadParameter, req);
    const EfsNode* node = model.efs.Find(path);
    auto reply = Header(req);
    wire::PutLe32(reply, static_cast<uint32_t>(node ? efs_errno::kOk : efs_errno::kNoEntry));
    wire::PutLe32(reply, node ? node->mode : 0);
    wire::PutLe32(reply, node && !node->isDir ? static_cast<uint32_t>(node->contents.size()) : 0);
    wire::PutLe32(reply, node ? (node->isDir ? 2 : 1) : 0);
    for (int i = 0; i < 3; ++i) wire::PutLe32(reply, 0);
    return reply;
}

// statfs: path -> errno, file-system id, type name (8), block size, total, available and
// free blocks, largest file, file count, most files
std::vector<uint8_t> EfsService::StatFs(std::span<const uint8_t> req, DeviceModel& model) {
    std::string path;
    if (req.size() < kHeader + 1) return DiagRefusal(kDiagBadLength, req);
    if (!wire::CString(req, kHeader, path)) return DiagRefusal(kDiagBadParameter, req);
    const uint32_t total = kEfsCapacityBytes / kBlockBytes;
    const uint32_t used = static_cast<uint32_t>((model.efs.UsedBytes() + kBlockBytes - 1) / kBlockBytes);
    auto reply = Header(req);
    wire::PutLe32(reply, 0);
    wire::PutLe32(reply, 1);
    wire::PutFixedText(reply, "EFS2", 8);
    wire::PutLe32(reply, kBlockBytes);
    wire::PutLe32(reply, total);
    wire::PutLe32(reply, total - used);
    wire::PutLe32(reply, total - used);
    wire::PutLe32(reply, static_cast<uint32_t>(kEfsCapacityBytes));
    wire::PutLe32(reply, static_cast<uint32_t>(model.efs.FileCount()));
    wire::PutLe32(reply, 4096);
    return reply;
}

}  // namespace flintcast::sim
