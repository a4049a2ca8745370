#pragma once
// The unit archive: everything a unit held before an update that wipes its data — every NV item
// that read active, every RF NV item it answered for, its EFS tree with the files, and every
// identity value it answered — in one self-checking file beside the backup files.
//
// Layout (little-endian):
//   "FCUNITAR"              8 bytes
//   format version          2 bytes (1)
//   tag length T, tag       2 + T bytes (the name of the device backup folder)
//   record count N          4 bytes
//   N records:  kind (1), id (2), name length L (2), name (L), data length D (4), data (D)
//   SHA-256 of all bytes before it   32 bytes
// Kinds: 1 identity value (id: its place in the identity table, name: its at.bak key, data: the
// text), 2 NV item (id, 128 data bytes), 3 RF NV item (id, its data), 4 EFS directory (name: the
// absolute path), 5 EFS file (name: the absolute path, data: the contents).
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace flintcast::engine::archive {

inline constexpr char kFileName[] = "unit-archive.bin";
inline constexpr uint16_t kFormatVersion = 1;
inline constexpr size_t kMagicBytes = 8;
inline constexpr size_t kDigestBytes = 32;
inline constexpr size_t kNvDataBytes = 128;

enum class Kind : uint8_t { Identity = 1, Nv = 2, RfNv = 3, EfsDir = 4, EfsFile = 5 };

struct Item {
    Kind kind = Kind::Nv;
    uint16_t id = 0;
    std::string name;
    std::vector<uint8_t> data;

    bool operator==(const Item&) const = default;
    bool SameKey(const Item& other) const;
};

struct UnitArchive {
    std::string unitTag;
    std::vector<Item> items;

    const Item* Find(const Item& key) const;
    bool operator==(const UnitArchive&) const = default;
};

// An item named for the operator: "NV 550", "RF NV 6503", "ESN", "EFS file /nvm/num/888".
std::string ItemLabel(const Item& item);
// The label an operator types to choose an item for restore-archive ("NV 550" or "nv:550",
// "RF NV 6503" or "rf:6503", "ESN", "efs:/nvm/num/888"); case is ignored.
bool LabelMatches(const Item& item, std::string_view label);

std::vector<uint8_t> Encode(const UnitArchive& archive);

struct Decoded {
    std::optional<UnitArchive> archive;
    std::string error;  // why the bytes are not an archive; empty when they are
};
// Checks everything before it trusts anything: magic, version, every length, the digest, the
// kinds, each item's shape and that no item appears twice.
Decoded Decode(std::span<const uint8_t> bytes);

// Writes the archive aside and renames it into place. False with `error` set on failure;
// an existing file of that name is then left as it was.
bool Save(const std::filesystem::path& file, const UnitArchive& archive, std::string& error);
Decoded Load(const std::filesystem::path& file);

}  // namespace flintcast::engine::archive
