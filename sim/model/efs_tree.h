#pragma once
// The device's embedded file system: directories and files with contents, addressed by
// absolute paths ("/a/b"). Errors are the error numbers the EFS service answers with.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace flintcast::sim {

namespace efs_errno {
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kNoEntry = 2;        // path does not exist
inline constexpr int32_t kExists = 6;         // mkdir of a path that is already there
inline constexpr int32_t kBadHandle = 9;
inline constexpr int32_t kNotDirectory = 20;
inline constexpr int32_t kIsDirectory = 21;
inline constexpr int32_t kInvalid = 22;
inline constexpr int32_t kTooManyOpen = 24;
inline constexpr int32_t kFileTooBig = 27;
inline constexpr int32_t kNoSpace = 28;
inline constexpr int32_t kNameTooLong = 36;
inline constexpr int32_t kNotEmpty = 39;
}  // namespace efs_errno

inline constexpr uint32_t kEfsModeDir = 0x4000;
inline constexpr uint32_t kEfsModeFile = 0x8000;
inline constexpr size_t kEfsMaxPath = 1023;
// Room the file system offers; keeps a misbehaving client from growing it without bound.
inline constexpr size_t kEfsCapacityBytes = 64u << 20;

struct EfsNode {
    bool isDir = false;
    uint32_t mode = 0;  // type bits (kEfsModeDir / kEfsModeFile) and permission bits
    std::vector<uint8_t> contents;

    bool operator==(const EfsNode&) const = default;
};

class EfsTree {
public:
    EfsTree();  // holds the root directory "/"

    // "/a//b/" and "a/b" become "/a/b". nullopt for an empty path, a "." or ".." part,
    // or a path longer than kEfsMaxPath.
    static std::optional<std::string> Normalize(std::string_view path);

    const EfsNode* Find(std::string_view path) const;
    // Creates missing parent directories (for building the tree from a profile).
    bool AddDir(std::string_view path, uint32_t perms = 0777);
    bool AddFile(std::string_view path, std::vector<uint8_t> contents, uint32_t perms = 0666);

    // Service operations; each returns an error number (efs_errno).
    int32_t MakeDir(std::string_view path, uint32_t perms);
    int32_t RemoveDir(std::string_view path);
    int32_t Unlink(std::string_view path);
    // Opens a file: create it when `create` and missing, empty it when `truncate`.
    int32_t OpenFile(std::string_view path, bool create, bool truncate, uint32_t perms);
    // Reads up to `count` bytes at `offset`; fewer at the end of the file.
    int32_t Read(std::string_view path, uint32_t offset, uint32_t count,
                 std::vector<uint8_t>& out) const;
    // Writes at `offset`, filling any gap behind the end of the file with zeros.
    int32_t Write(std::string_view path, uint32_t offset, const uint8_t* data, size_t count);
    // Names of a directory's entries in listing order (no "." or "..").
    int32_t List(std::string_view path, std::vector<std::string>& names) const;

    size_t UsedBytes() const { return usedBytes_; }
    size_t FileCount() const;
    const std::map<std::string, EfsNode>& nodes() const { return nodes_; }

    bool operator==(const EfsTree& other) const { return nodes_ == other.nodes_; }

private:
    std::map<std::string, EfsNode> nodes_;
    size_t usedBytes_ = 0;

    static std::string ParentOf(const std::string& path);
    bool HasChildren(const std::string& path) const;
};

}  // namespace flintcast::sim
