#include "engine/unit_archive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <tuple>

#include <fmt/format.h>

#include "codec/byte_order.h"
#include "codec/sha256.h"
#include "engine/identity_table.h"
#include "platform/atomic_file.h"

namespace flintcast::engine::archive {
namespace {

constexpr char kMagic[kMagicBytes + 1] = "FCUNITAR";
// Larger than any unit's EFS holds; a length beyond it is damage, not data.
constexpr uint32_t kMaxItemBytes = 64u << 20;
constexpr size_t kMaxRfNvBytes = 0xFFFF;

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// An EFS path as the archive keeps it: absolute, "/"-separated, no empty, "." or ".." part.
bool ValidEfsPath(std::string_view path) {
    if (path.size() < 2 || path.front() != '/' || path.back() == '/') return false;
    if (path.find('\0') != std::string_view::npos) return false;
    size_t at = 1;
    while (at <= path.size()) {
        const size_t end = std::min(path.find('/', at), path.size());
        const std::string_view part = path.substr(at, end - at);
        if (part.empty() || part == "." || part == "..") return false;
        at = end + 1;
    }
    return true;
}

std::optional<std::string> ItemProblem(const Item& item) {
    switch (item.kind) {
        case Kind::Identity: {
            const auto fields = IdentityFields();
            if (item.id >= fields.size()) return fmt::format("identity value number {} is unknown", item.id);
            if (item.name != fields[item.id].dataKey)
                return fmt::format("identity value {} is named \"{}\"", item.id, item.name);
            return std::nullopt;
        }
        case Kind::Nv:
            if (!item.name.empty() || item.data.size() != kNvDataBytes)
                return fmt::format("NV item {} does not hold {} bytes", item.id, kNvDataBytes);
            return std::nullopt;
        case Kind::RfNv:
            if (!item.name.empty() || item.data.size() > kMaxRfNvBytes)
                return fmt::format("RF NV item {} is malformed", item.id);
            return std::nullopt;
        case Kind::EfsDir:
        case Kind::EfsFile:
            if (item.id != 0 || !ValidEfsPath(item.name)) return fmt::format("EFS path \"{}\" is not valid", item.name);
            if (item.kind == Kind::EfsDir && !item.data.empty())
                return fmt::format("EFS directory {} carries data", item.name);
            return std::nullopt;
    }
    return fmt::format("record kind {} is unknown", static_cast<int>(item.kind));
}

class Cursor {
public:
    explicit Cursor(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    bool Take(size_t n, std::span<const uint8_t>& out) {
        if (bytes_.size() - at_ < n) return false;
        out = bytes_.subspan(at_, n);
        at_ += n;
        return true;
    }
    bool Le16(uint16_t& v) {
        std::span<const uint8_t> b;
        if (!Take(2, b)) return false;
        v = byte_order::Le16(b, 0);
        return true;
    }
    bool Le32(uint32_t& v) {
        std::span<const uint8_t> b;
        if (!Take(4, b)) return false;
        v = byte_order::Le32(b, 0);
        return true;
    }
    size_t left() const { return bytes_.size() - at_; }

private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
};

Decoded Damaged(std::string why) { return {std::nullopt, std::move(why)}; }

}  // namespace

bool Item::SameKey(const Item& other) const {
    if (kind != other.kind) return false;
    if (kind == Kind::EfsDir || kind == Kind::EfsFile) return name == other.name;
    return id == other.id;
}

const Item* UnitArchive::Find(const Item& key) const {
    for (const auto& item : items)
        if (item.SameKey(key)) return &item;
    return nullptr;
}

std::string ItemLabel(const Item& item) {
    switch (item.kind) {
        case Kind::Identity: return item.name;
        case Kind::Nv: return fmt::format("NV {}", item.id);
        case Kind::RfNv: return fmt::format("RF NV {}", item.id);
        case Kind::EfsDir: return fmt::format("EFS directory {}", item.name);
        case Kind::EfsFile: return fmt::format("EFS file {}", item.name);
    }
    return "?";
}

bool LabelMatches(const Item& item, std::string_view label) {
    const std::string want = Lower(label);
    if (want == Lower(ItemLabel(item))) return true;
    switch (item.kind) {
        case Kind::Identity: return false;
        case Kind::Nv: return want == fmt::format("nv:{}", item.id);
        case Kind::RfNv: return want == fmt::format("rf:{}", item.id);
        case Kind::EfsDir:
        case Kind::EfsFile: return label == "efs:" + item.name;
    }
    return false;
}

std::vector<uint8_t> Encode(const UnitArchive& archive) {
    std::vector<uint8_t> out(kMagic, kMagic + kMagicBytes);
    byte_order::PutLe16(out, kFormatVersion);
    byte_order::PutLe16(out, static_cast<uint16_t>(archive.unitTag.size()));
    out.insert(out.end(), archive.unitTag.begin(), archive.unitTag.end());
    byte_order::PutLe32(out, static_cast<uint32_t>(archive.items.size()));
    for (const auto& item : archive.items) {
        out.push_back(static_cast<uint8_t>(item.kind));
        byte_order::PutLe16(out, item.id);
        byte_order::PutLe16(out, static_cast<uint16_t>(item.name.size()));
        out.insert(out.end(), item.name.begin(), item.name.end());
        byte_order::PutLe32(out, static_cast<uint32_t>(item.data.size()));
        out.insert(out.end(), item.data.begin(), item.data.end());
    }
    const auto digest = sha256::Of(out);
    out.insert(out.end(), digest.begin(), digest.end());
    return out;
}

Decoded Decode(std::span<const uint8_t> bytes) {
    if (bytes.size() < kMagicBytes || std::memcmp(bytes.data(), kMagic, kMagicBytes) != 0)
        return Damaged("it is not a unit archive");
    if (bytes.size() < kMagicBytes + 2 + 2 + 4 + kDigestBytes) return Damaged("it is cut short");
    const auto body = bytes.first(bytes.size() - kDigestBytes);
    const auto digest = sha256::Of(body);
    if (!std::equal(digest.begin(), digest.end(), bytes.end() - kDigestBytes))
        return Damaged("its check sum does not match its contents");

    Cursor in(body.subspan(kMagicBytes));
    uint16_t version = 0, tagLength = 0;
    std::span<const uint8_t> tag;
    uint32_t count = 0;
    if (!in.Le16(version)) return Damaged("it is cut short");
    if (version != kFormatVersion) return Damaged(fmt::format("its format version {} is unknown", version));
    if (!in.Le16(tagLength) || !in.Take(tagLength, tag) || !in.Le32(count)) return Damaged("it is cut short");

    UnitArchive archive;
    archive.unitTag.assign(tag.begin(), tag.end());
    std::set<std::tuple<uint8_t, uint16_t, std::string>> seen;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t kind = 0;
        uint16_t id = 0, nameLength = 0;
        uint32_t dataLength = 0;
        std::span<const uint8_t> head, name, data;
        if (!in.Take(1, head) || !in.Le16(id) || !in.Le16(nameLength) || !in.Take(nameLength, name) ||
            !in.Le32(dataLength))
            return Damaged(fmt::format("record {} of {} is cut short", i + 1, count));
        if (dataLength > kMaxItemBytes || !in.Take(dataLength, data))
            return Damaged(fmt::format("record {} of {} is cut short", i + 1, count));
        kind = head[0];
        Item item{static_cast<Kind>(kind), id, std::string(name.begin(), name.end()), {data.begin(), data.end()}};
        if (auto problem = ItemProblem(item)) return Damaged(fmt::format("record {}: {}", i + 1, *problem));
        const bool byPath = item.kind == Kind::EfsDir || item.kind == Kind::EfsFile;
        if (!seen.insert({byPath ? 0 : kind, byPath ? 0 : id, byPath ? item.name : std::string()}).second)
            return Damaged(fmt::format("record {}: {} appears twice", i + 1, ItemLabel(item)));
        archive.items.push_back(std::move(item));
    }
    if (in.left() != 0) return Damaged("it holds bytes behind its last record");
    return {std::move(archive), {}};
}

bool Save(const std::filesystem::path& file, const UnitArchive& archive, std::string& error) {
    const auto bytes = Encode(archive);
    platform::AtomicFileWriter out;
    if (!out.Open(file) || !out.Write(bytes) || !out.Commit()) {
        error = fmt::format("Could not write {}: {}", file.string(), std::strerror(errno));
        return false;
    }
    return true;
}

Decoded Load(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return Damaged(fmt::format("{} cannot be opened", file.string()));
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return Damaged(fmt::format("{} cannot be read", file.string()));
    return Decode(bytes);
}

}  // namespace flintcast::engine::archive
