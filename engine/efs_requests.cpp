#include "engine/efs_requests.h"

#include <algorithm>

#include "codec/byte_order.h"

namespace flintcast::engine::efs {
namespace {

std::vector<uint8_t> Header(Command command) {
    const auto code = static_cast<uint16_t>(command);
    std::vector<uint8_t> out{kDispatch, kSubsystem};
    byte_order::PutLe16(out, code);
    return out;
}

using byte_order::PutLe32;

void PutPath(std::vector<uint8_t>& out, std::string_view path) {
    out.insert(out.end(), path.begin(), path.end());
    out.push_back(0x00);
}

std::vector<uint8_t> PathRequest(Command command, std::string_view path) {
    auto out = Header(command);
    PutPath(out, path);
    return out;
}

}  // namespace

std::vector<uint8_t> StatFsRequest() { return PathRequest(Command::StatFs, ""); }

std::vector<uint8_t> OpenForWriteRequest(std::string_view path) {
    auto out = Header(Command::Open);
    PutLe32(out, kOpenWriteFlags);
    PutLe32(out, kOpenWriteMode);
    PutPath(out, path);
    return out;
}

std::vector<uint8_t> OpenForReadRequest(std::string_view path) {
    auto out = Header(Command::Open);
    PutLe32(out, kOpenReadFlags);
    PutLe32(out, kOpenReadMode);
    PutPath(out, path);
    return out;
}

std::vector<uint8_t> ReadRequest(uint32_t handle, uint32_t offset, uint32_t count) {
    auto out = Header(Command::Read);
    PutLe32(out, handle);
    PutLe32(out, count);
    PutLe32(out, offset);
    return out;
}

std::vector<uint8_t> WriteRequest(uint32_t handle, uint32_t offset, std::span<const uint8_t> data) {
    auto out = Header(Command::Write);
    out.reserve(out.size() + 8 + data.size());
    PutLe32(out, handle);
    PutLe32(out, offset);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::vector<uint8_t> CloseRequest(uint32_t handle) {
    auto out = Header(Command::Close);
    PutLe32(out, handle);
    return out;
}

std::vector<uint8_t> UnlinkRequest(std::string_view path) { return PathRequest(Command::Unlink, path); }

std::vector<uint8_t> MakeDirRequest(std::string_view path) {
    auto out = Header(Command::MakeDir);
    byte_order::PutLe16(out, kMakeDirMode);
    PutPath(out, path);
    return out;
}

std::vector<uint8_t> RemoveDirRequest(std::string_view path) { return PathRequest(Command::RemoveDir, path); }
std::vector<uint8_t> OpenDirRequest(std::string_view path) { return PathRequest(Command::OpenDir, path); }

std::vector<uint8_t> ReadDirRequest(uint32_t handle, uint32_t sequence) {
    auto out = Header(Command::ReadDir);
    PutLe32(out, handle);
    PutLe32(out, sequence);
    return out;
}

std::vector<uint8_t> CloseDirRequest(uint32_t handle) {
    auto out = Header(Command::CloseDir);
    PutLe32(out, handle);
    return out;
}

std::vector<uint8_t> StatRequest(std::string_view path) { return PathRequest(Command::Stat, path); }

uint8_t ByteAt(std::span<const uint8_t> reply, size_t offset) {
    return offset < reply.size() ? reply[offset] : 0;
}

uint32_t Le32At(std::span<const uint8_t> reply, size_t offset) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value |= static_cast<uint32_t>(ByteAt(reply, offset + i)) << (8 * i);
    return value;
}

bool IsAnswerTo(std::span<const uint8_t> reply, Command command) {
    return reply.size() >= 3 && reply[0] == kDispatch && reply[1] == kSubsystem &&
           reply[2] == static_cast<uint8_t>(static_cast<uint16_t>(command) & 0xFF);
}

DirEntry DecodeDirEntry(std::span<const uint8_t> reply, size_t trailer) {
    DirEntry entry;
    entry.type = ByteAt(reply, kEntryTypeOffset);
    entry.mode = static_cast<uint16_t>(ByteAt(reply, kEntryModeOffset) | ByteAt(reply, kEntryModeOffset + 1) << 8);
    if (reply.size() > kEntryNameOffset + trailer) {
        const auto first = reply.begin() + static_cast<std::ptrdiff_t>(kEntryNameOffset);
        const auto last = reply.end() - static_cast<std::ptrdiff_t>(trailer);
        entry.name.assign(first, std::find(first, last, uint8_t{0}));
    }
    return entry;
}

}  // namespace flintcast::engine::efs
