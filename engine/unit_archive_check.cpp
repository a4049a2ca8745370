#include "engine/unit_archive_check.h"

#include <fstream>
#include <iterator>
#include <map>
#include <tuple>

#include "engine/identity.h"
#include "engine/identity_table.h"
#include "engine/unit_archive_capture.h"
#include "platform/ini_file.h"

namespace flintcast::engine {
namespace {

using archive::Item;
using archive::Kind;

constexpr uint16_t kCorrectedRfItem = 20208;

// An identity value as the restore's check compares it: without surrounding blanks, and the
// test information in the form at.bak keeps it (a unit may answer it with its UIT results
// added back, or in other letter case).
std::string ComparableIdentity(const Item& item) {
    std::string text(item.data.begin(), item.data.end());
    if (static_cast<IdentityValue>(item.id) == IdentityValue::TestInfo) text = CleanTestInfo(text, false);
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool SameAs(const Item& expected, const Item* now) {
    if (now == nullptr) return false;
    if (expected.data == now->data) return true;
    if (expected.kind == Kind::Identity) return ComparableIdentity(expected) == ComparableIdentity(*now);
    return expected.kind == Kind::RfNv && IsCorrectedRfNv20208(*now);
}

// The items of a read-back by their key (kind, id or path), for the comparisons.
class ItemIndex {
public:
    explicit ItemIndex(const std::vector<Item>& items) {
        for (const auto& item : items) byKey_.emplace(Key(item), &item);
    }
    const Item* Find(const Item& key) const {
        const auto it = byKey_.find(Key(key));
        return it == byKey_.end() ? nullptr : it->second;
    }

private:
    using KeyType = std::tuple<Kind, uint16_t, std::string>;
    static KeyType Key(const Item& item) {
        const bool byPath = item.kind == Kind::EfsDir || item.kind == Kind::EfsFile;
        return {item.kind, byPath ? uint16_t{0} : item.id, byPath ? item.name : std::string()};
    }
    std::map<KeyType, const Item*> byKey_;
};

}  // namespace

bool IsCorrectedRfNv20208(const Item& item) {
    static const std::vector<uint8_t> kCorrected = [] {
        std::vector<uint8_t> data = {0x16, 0x00, 0x0D, 0x00, 0x1D, 0x00, 0x2D, 0x00, 0x2E, 0x00, 0x2E, 0x00};
        data.resize(32, 0);
        return data;
    }();
    return item.kind == Kind::RfNv && item.id == kCorrectedRfItem && item.data == kCorrected;
}

std::vector<Item> RestoredItems(const std::filesystem::path& backupFolder, const archive::UnitArchive& unit,
                                const std::set<uint16_t>& configuredNv) {
    std::vector<Item> restored;
    if (auto ini = platform::IniFile::Load(backupFolder / "at.bak")) {
        for (const auto& field : IdentityFields()) {
            const bool flagged = field.backupKey.empty() ? ini->hasKey("Data", field.dataKey)
                                                         : ini->readString("BACKUP", field.backupKey, "0") == "1";
            if (!flagged) continue;
            const std::string text = ini->readString("Data", field.dataKey, "");
            restored.push_back({Kind::Identity, static_cast<uint16_t>(field.value), std::string(field.dataKey),
                                {text.begin(), text.end()}});
        }
    }
    std::map<uint16_t, std::vector<uint8_t>> records;
    LoadNvBackupRecords((backupFolder / "nv.bak").string(), records);
    for (auto& [id, data] : records)
        if (!configuredNv.contains(id)) restored.push_back({Kind::Nv, id, {}, std::move(data)});
    records.clear();
    LoadRfNvBackupRecords((backupFolder / "nv1.bak").string(), records);
    for (auto& [id, data] : records) restored.push_back({Kind::RfNv, id, {}, std::move(data)});

    std::error_code ec;
    for (const auto& item : unit.items) {
        if (item.kind != Kind::EfsFile) continue;
        const auto copy = backupFolder / "EFS" / item.name.substr(1);
        if (!std::filesystem::is_regular_file(copy, ec)) continue;
        std::ifstream in(copy, std::ios::binary);
        restored.push_back({Kind::EfsFile, 0, item.name,
                            {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}});
    }
    return restored;
}

std::vector<std::string> ItemsNotAsExpected(const std::vector<Item>& expected, const std::vector<Item>& now) {
    const ItemIndex held(now);
    std::vector<std::string> labels;
    for (const auto& item : expected)
        if (!SameAs(item, held.Find(item))) labels.push_back(archive::ItemLabel(item));
    return labels;
}

std::vector<Item> ItemsNotAsTheyWere(const archive::UnitArchive& unit, const std::vector<Item>& now,
                                     const std::set<uint16_t>& configuredNv) {
    const ItemIndex index(now);
    std::vector<Item> lost;
    for (const auto& item : unit.items) {
        if (item.kind == Kind::Nv && configuredNv.contains(item.id)) continue;
        const Item* held = index.Find(item);
        if (held == nullptr || held->data != item.data) lost.push_back(item);
    }
    return lost;
}

}  // namespace flintcast::engine
