#pragma once
// NV item backup and restore over the diagnostic port: the worker's item lists, the backups
// into nv.bak (128-byte items) and nv1.bak (RF NV items of the factory-test subsystem), their
// restores, the correction of RF NV item 20208 and the configured NV command list.
//
// How the worker calls these (each reports through the context's reporter and leaves the
// latch set when it used ShowError; the caller tests the latch before its next step):
//   - run start, with bBackup on:            BuildNvLists()
//   - backup, once SetBackupPaths() is done: project 12 with IsVarnel: BackupProjectNvItems();
//       otherwise BackupNvItems(), then BackupRfNvItems() unless network 1 or 2 or project
//       35 to 39, 41, 48
//   - restore on the reopened diagnostic port: RestoreProjectNvItems() (project 12 with
//       IsVarnel) or RestoreNvItems(); then WriteNvCommandList() when the list is not empty
//   - after "AT+CFUN=5" on the modem port:    RestoreRfNvItems(), FixRfNv20208()
//   - part-of-EFS flow:                       WriteNvCommandList() when the list is not empty
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/nv_catalogues.h"
#include "engine/nv_status.h"
#include "engine/worker_context.h"

namespace flintcast::engine {

// Converts one of the 256 texts "00" to "FF" (digits and upper-case A to F) to its byte.
std::optional<uint8_t> HexTextToByte(std::string_view text);

class NvItems {
public:
    // Capacity of each list, and so the most records a backup file may hold.
    static constexpr size_t kListCapacity = 1500;
    // The restore's record buffer: an nv1.bak record (id, size, data) must fit it.
    static constexpr size_t kRfRecordBufferBytes = 8192;
    static constexpr size_t kMaxCommandValues = 128;

    explicit NvItems(WorkerContext& ctx);

    // The backup files of this device (nv.bak and nv1.bak in its backup folder).
    void SetBackupPaths(std::string nvBakPath, std::string nv1BakPath);
    const std::string& nvBakPath() const { return nvBakPath_; }
    const std::string& nv1BakPath() const { return nv1BakPath_; }

    void BuildNvLists();
    void BackupNvItems();
    void BackupRfNvItems();
    void BackupProjectNvItems();
    void RestoreNvItems();
    void RestoreRfNvItems();
    void RestoreProjectNvItems();
    void FixRfNv20208();
    void WriteNvCommandList();
    void WriteNvCommand(std::string_view idText, std::string_view valueText);

    const std::vector<NvEntry>& nvList() const { return nvList_; }
    const std::vector<NvEntry>& rfNvList() const { return rfNvList_; }
    // The entries the last backup saved, in file order, then entries {-1, ""}.
    const std::vector<NvEntry>& savedNvList() const { return savedNvList_; }

private:
    WorkerContext& ctx_;
    std::string nvBakPath_;
    std::string nv1BakPath_;
    std::vector<NvEntry> nvList_;
    std::vector<NvEntry> rfNvList_;
    std::vector<NvEntry> savedNvList_;

    enum class PlainBackup { Listed, Project };
    void backupPlainItems(const std::vector<NvEntry>& items, PlainBackup kind);
    void restorePlainItems(NvStatusVariant variant);
    // The name shown for the item of a backup record at `position`.
    std::string recordName(const std::vector<NvEntry>& list, size_t position, int32_t id) const;
    void saveEntry(size_t position, const NvEntry& entry);
    // Clears an error raised by the RF step itself at its end; a stop request stays.
    void clearOwnError();
    bool switchForRfNv();
};

}  // namespace flintcast::engine
