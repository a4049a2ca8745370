#pragma once
// Reads a unit into a unit archive, and reads back later what it holds of an archive's items.
// NV and RF NV items are asked over the whole 16-bit id range, many requests in flight at a
// time; the EFS tree is walked from its root; identity values are asked on the modem port.
// What the catalogue backup of the same run read already is taken from it, not asked again.
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/identity.h"
#include "engine/unit_archive.h"
#include "engine/worker_context.h"

namespace flintcast::engine {

class AtChannel;

// What the catalogue backup of this run already read.
struct CatalogueReads {
    std::set<uint16_t> nvAsked;                          // every NV id it asked
    std::map<uint16_t, std::vector<uint8_t>> nvActive;   // those that read active (nv.bak)
    std::set<uint16_t> rfAsked;
    std::map<uint16_t, std::vector<uint8_t>> rfAnswered;  // nv1.bak
    std::map<IdentityValue, std::string> identity;       // values as the unit answered them
    // The EFS mirror of the user-data backup (empty: none); a file copied there is taken from it.
    std::string efsMirror;
};

// The records of nv.bak and nv1.bak; false when a file is not whole records.
bool LoadNvBackupRecords(const std::string& nvBak, std::map<uint16_t, std::vector<uint8_t>>& out);
bool LoadRfNvBackupRecords(const std::string& nv1Bak, std::map<uint16_t, std::vector<uint8_t>>& out);

class UnitArchiveCapture {
public:
    UnitArchiveCapture(WorkerContext& ctx, AtChannel& at);

    // The whole unit. Nothing when the unit stopped answering (an error line is posted).
    std::optional<archive::UnitArchive> Capture(const std::string& unitTag, const CatalogueReads& known);

    // The items of `wanted` as the unit holds them now; an item the unit no longer has (or no
    // longer answers for) is left out. Nothing when the unit stopped answering.
    std::optional<std::vector<archive::Item>> ReadBack(const std::vector<archive::Item>& wanted);

private:
    WorkerContext& ctx_;
    AtChannel& at_;

    bool ReadNv(const std::vector<uint16_t>& ids, std::vector<archive::Item>& out);
    bool ReadRfNv(const std::vector<uint16_t>& ids, std::vector<archive::Item>& out);
    bool ReadEfsTree(const std::string& dir, const std::string& mirror, std::vector<archive::Item>& out);
    // Nothing when the path is not a plain file the unit lets be read.
    std::optional<std::vector<uint8_t>> ReadEfsFile(const std::string& path);
    // 1 directory, 2 file, 0 missing or neither; -1 when the unit did not answer.
    int EfsKind(const std::string& path);
    std::optional<std::string> ReadIdentityValue(IdentityValue value);
};

}  // namespace flintcast::engine
