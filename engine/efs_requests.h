#pragma once
// Requests of the EFS2 file-system service of DIAG (dispatch 0x4B, subsystem 0x13) and the
// reply fields the worker reads. Builders return the unframed payload; the reply helpers take
// the unstuffed answer (payload, then the check sequence and, for the EFS reader, the flag).
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace flintcast::engine::efs {

inline constexpr uint8_t kDispatch = 0x4B;
inline constexpr uint8_t kSubsystem = 0x13;

enum class Command : uint16_t {
    Open = 0x02,
    Close = 0x03,
    Read = 0x04,
    Write = 0x05,
    Unlink = 0x08,
    MakeDir = 0x09,
    RemoveDir = 0x0A,
    OpenDir = 0x0B,
    ReadDir = 0x0C,
    CloseDir = 0x0D,
    Stat = 0x0F,
    StatFs = 0x13,
};

// Open answers carry the handle the device's table allocated (offset 4) and an error number
// (offset 8); every later request on that file or directory names that handle.
inline constexpr size_t kHandleOffset = 4;
inline constexpr size_t kOpenErrnoOffset = 8;

// Open flags and modes: create, truncate, write only, 0666; read only, 0444 (as 0x124).
inline constexpr uint32_t kOpenWriteFlags = 0x00000241;
inline constexpr uint32_t kOpenWriteMode = 0x000001B6;
inline constexpr uint32_t kOpenReadFlags = 0;
inline constexpr uint32_t kOpenReadMode = 0x00000124;
inline constexpr uint16_t kMakeDirMode = 0x01FF;

inline constexpr uint32_t kReadBlockBytes = 512;
inline constexpr uint32_t kWriteBlockBytes = 1488;

// Error numbers the worker tells apart.
inline constexpr uint8_t kErrNoEntry = 2;
inline constexpr uint8_t kErrExists = 6;
inline constexpr uint8_t kErrBadHandle = 9;

// Answer offsets.
inline constexpr size_t kReadDataOffset = 20;
inline constexpr size_t kEntryTypeOffset = 16;
inline constexpr size_t kEntryModeOffset = 20;
inline constexpr size_t kEntryNameOffset = 40;
inline constexpr size_t kStatErrnoOffset = 4;
inline constexpr size_t kStatModeHighOffset = 11;
inline constexpr size_t kStatSizeOffset = 12;
inline constexpr size_t kStatLinksOffset = 16;

std::vector<uint8_t> StatFsRequest();
std::vector<uint8_t> OpenForWriteRequest(std::string_view path);
std::vector<uint8_t> OpenForReadRequest(std::string_view path);
std::vector<uint8_t> ReadRequest(uint32_t handle, uint32_t offset, uint32_t count = kReadBlockBytes);
std::vector<uint8_t> WriteRequest(uint32_t handle, uint32_t offset, std::span<const uint8_t> data);
std::vector<uint8_t> CloseRequest(uint32_t handle);
std::vector<uint8_t> UnlinkRequest(std::string_view path);
std::vector<uint8_t> MakeDirRequest(std::string_view path);
std::vector<uint8_t> RemoveDirRequest(std::string_view path);
std::vector<uint8_t> OpenDirRequest(std::string_view path);
// The sequence number is sent as a 32-bit field, so listings past 255 entries stay complete.
std::vector<uint8_t> ReadDirRequest(uint32_t handle, uint32_t sequence);
std::vector<uint8_t> CloseDirRequest(uint32_t handle);
std::vector<uint8_t> StatRequest(std::string_view path);

// Reply field access; out-of-range reads give 0, so a short answer never reads past its end.
uint8_t ByteAt(std::span<const uint8_t> reply, size_t offset);
uint32_t Le32At(std::span<const uint8_t> reply, size_t offset);
// True when the answer starts with 4B 13 and the command's low byte.
bool IsAnswerTo(std::span<const uint8_t> reply, Command command);

// One entry of a directory listing, as a read-directory-entry answer reports it.
struct DirEntry {
    uint8_t type = 0;     // 1 directory, 0 file or end of the listing
    uint16_t mode = 0;
    std::vector<uint8_t> name;  // raw bytes as the device sent them

    bool isDirectory() const { return type == 1 && (mode >> 12) == 0x4; }
    bool isFile() const { return type == 0 && (mode >> 12) == 0x8; }
    // The end of the listing: a type-0 entry without a mode. (A mode whose low byte alone is 0
    // still belongs to a real file, e.g. 0x8100 for read-only by the owner.)
    bool isEnd() const { return type == 0 && mode == 0; }
};

// Decodes an entry answer of `count` stored bytes, where the answer ends with `trailer` bytes
// behind the name's 0x00 (the check sequence, plus the flag for the EFS reader).
DirEntry DecodeDirEntry(std::span<const uint8_t> reply, size_t trailer);

}  // namespace flintcast::engine::efs
