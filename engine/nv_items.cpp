#include "engine/nv_items.h"

#include <algorithm>
#include <array>
#include <cerrno>

#include <fmt/format.h>

#include "codec/byte_order.h"
#include "config/project_traits.h"
#include "engine/diag_mode.h"
#include "engine/nv_backup_file.h"
#include "engine/nv_request_loop.h"
#include "engine/nv_requests.h"

namespace flintcast::engine {
namespace {

constexpr int32_t kRfFixItem = 20208;
// The known bad receive-gain values of item 20208 (answer bytes 16 to 27) and what replaces
// them: 22, 13, 29, 45, 46, 46 and ten zeros, 32 bytes in all.
constexpr std::array<uint8_t, 12> kRfFixBadValues = {0x18, 0x01, 0x17, 0x01, 0x16, 0x01,
                                                     0x35, 0x01, 0x3A, 0x01, 0x33, 0x01};
constexpr std::array<uint8_t, 32> kRfFixGoodValues = {0x16, 0x00, 0x0D, 0x00, 0x1D, 0x00, 0x2D, 0x00,
                                                      0x2E, 0x00, 0x2E, 0x00};

// The UIT result items are read only by the projects that keep them in NV.
bool ReadsUitItems(int32_t project, bool uitNewWays) {
    return !uitNewWays && config::KeepsUitResultsInNv(project);
}

std::string ItemPrefix(int32_t id) { return fmt::format("[{}]", id); }

void Append(std::vector<NvEntry>& list, const NvCatalogue& catalogue) {
    const size_t room = NvItems::kListCapacity - std::min(list.size(), NvItems::kListCapacity);
    list.insert(list.end(), catalogue.begin(), catalogue.begin() + static_cast<std::ptrdiff_t>(std::min(room, catalogue.size())));
}

// The backup file steps both NV backups share.
bool OpenBackup(WorkerContext& ctx, NvBackupFile& file, const std::string& path) {
    if (file.Create(path)) return true;
    // Without its backup the update would wipe the items for good: the run must not go on.
    ctx.reporter.ShowError("Fail to create......", errno);
    return false;
}

void FailedRead(WorkerContext& ctx, NvBackupFile& file, const NvEntry& entry) {
    ctx.reporter.ShowError(fmt::format("[{}]{}:Fail to backup NV", entry.id, entry.name), 0);
    file.Close();
}

// Adds one item's record; false once the run has an error (failure posted, file closed).
bool StoreRecord(WorkerContext& ctx, NvBackupFile& file, std::span<const uint8_t> record) {
    file.Append(record);
    if (ctx.ok()) return true;
    ctx.reporter.ShowStatus(LineClass::FailureNotice, "Fail to backup NV......");
    file.Close();
    return false;
}

// Writes the file and posts the backup's result.
bool FinishBackup(WorkerContext& ctx, NvBackupFile& file) {
    if (!file.Close()) {
        ctx.reporter.ShowError("Fail to write NV......", errno);
        return false;
    }
    ctx.reporter.ShowStatus(LineClass::Ordinary, "Backup NV......OK");
    return true;
}

}  // namespace

NvItems::NvItems(WorkerContext& ctx) : ctx_(ctx) {}

void NvItems::SetBackupPaths(std::string nvBakPath, std::string nv1BakPath) {
    nvBakPath_ = std::move(nvBakPath);
    nv1BakPath_ = std::move(nv1BakPath);
}

void NvItems::BuildNvLists() {
    const auto& cfg = ctx_.config;
    const int32_t project = ctx_.projectType;
    // A project with its own catalogue (IsVarnel) walks it and leaves the lists alone.
    if (!(config::HasVarnelVariant(project) && cfg.isVarnel)) {
        nvList_.clear();
        if (cfg.networkType == 2 || config::HasEvdo(project)) {
            Append(nvList_, EvdoNvCatalogue());
            if (cfg.rtrecfg && config::AddsIdentityNvWithRtrecfg(project)) Append(nvList_, IdentityNvCatalogue());
        } else if (cfg.networkType == 3) {
            rfNvList_ = LteNvCatalogue();
        } else {
            Append(nvList_, DefaultNvCatalogue());
        }
        if (cfg.lteType == "LTE") {
            Append(nvList_, LteNvCatalogue());
            rfNvList_ = LteRfNvCatalogue();
        }
    }
    savedNvList_.assign(kListCapacity, NvEntry{});
}

void NvItems::saveEntry(size_t position, const NvEntry& entry) {
    if (savedNvList_.size() < kListCapacity) savedNvList_.resize(kListCapacity);
    if (position < savedNvList_.size()) savedNvList_[position] = entry;
}

void NvItems::clearOwnError() { ctx_.reporter.ClearError(); }

// RF NV items are reachable only in the factory-test mode. A device that refuses the switch
// keeps its calibration out of reach: the run must not go on as if it had been kept.
bool NvItems::switchForRfNv() {
    if (SwitchDiagMode(ctx_)) return true;
    ctx_.reporter.ShowError("Fail to switch mode for the RF NV items");
    return false;
}

void NvItems::BackupNvItems() { backupPlainItems(nvList_, PlainBackup::Listed); }

void NvItems::BackupProjectNvItems() { backupPlainItems(Project12NvCatalogue(), PlainBackup::Project); }

void NvItems::backupPlainItems(const std::vector<NvEntry>& items, PlainBackup kind) {
    NvBackupFile file;
    if (!OpenBackup(ctx_, file, nvBakPath_)) return;
    const bool listed = kind == PlainBackup::Listed;
    const auto variant = listed ? NvStatusVariant::Plain : NvStatusVariant::Project;
    size_t saved = 0;
    for (const NvEntry& entry : items) {
        if (listed && (entry.id == 6503 || entry.id == 6504) &&
            !ReadsUitItems(ctx_.projectType, ctx_.config.uitNewWays)) {
            continue;
        }
        const uint16_t id = static_cast<uint16_t>(entry.id);
        const auto request = NvReadRequest(entry.id);
        const auto answer = RunNvRequest(ctx_, request, kNvReadRule, AnswerItem{1, id});
        if (!answer) return FailedRead(ctx_, file, entry);
        if (answer->size() != kNvAnswerBytes) {
            // A record of another length would shift every later record of nv.bak.
            ctx_.reporter.ShowError(
                fmt::format("[{}]{}:NV answer of {} bytes, expected {}", entry.id, entry.name, answer->size(), kNvAnswerBytes), 0);
            file.Close();
            return;
        }
        const std::string prefix = listed ? ItemPrefix(entry.id) : ItemPrefix(entry.id) + entry.name;
        const int result = CheckNvStatus(ctx_.reporter, *answer, prefix, variant);
        if (result == kNvStatusInactive || result == kNvStatusBadParameter) continue;
        if (result != 0) {
            file.Close();
            return;
        }
        if (listed) saveEntry(saved++, entry);
        if (!StoreRecord(ctx_, file, answer->subspan(1, kNvRecordBytes))) return;
    }
    FinishBackup(ctx_, file);
}

void NvItems::BackupRfNvItems() {
    // A guarded step: an error from before must not be cleared at its end.
    if (!ctx_.ok()) return;
    if (!switchForRfNv()) return;
    NvBackupFile file;
    if (!OpenBackup(ctx_, file, nv1BakPath_)) return;
    size_t saved = 0;
    for (const NvEntry& entry : rfNvList_) {
        if (entry.id == 0) break;  // the list's end mark
        const uint16_t id = static_cast<uint16_t>(entry.id);
        const auto answer = RunNvRequest(ctx_, RfNvReadRequest(entry.id), kRfNvReadRule, AnswerItem{kRfNvIdAt, id});
        if (!answer) return FailedRead(ctx_, file, entry);
        const int result = CheckNvStatus(ctx_.reporter, *answer, ItemPrefix(entry.id), NvStatusVariant::Rf);
        // Missing (1, 4), inactive (5) and refused (6) items are left out; the rest is kept.
        if (result == 1 || result == 4 || result == kNvStatusInactive || result == kNvStatusBadParameter) continue;
        if (result != 0) {
            file.Close();
            return;
        }
        // Header (16 bytes), n data bytes, check sequence: anything else would store a record
        // whose size field disagrees with its data and spoil every later record of nv1.bak.
        const size_t length = answer->size();
        if (length < kRfNvDataAt + 2 || byte_order::Le16(*answer, kRfNvSizeAt) != length - kRfNvDataAt - 2) {
            ctx_.reporter.ShowError(
                fmt::format("[{}]{}:RF NV answer of {} bytes does not match its data size", entry.id, entry.name, length), 0);
            file.Close();
            return;
        }
        saveEntry(saved++, entry);
        if (!StoreRecord(ctx_, file, answer->subspan(kRfNvIdAt, length - kRfNvIdAt - 2))) return;
    }
    if (FinishBackup(ctx_, file)) clearOwnError();
}

void NvItems::FixRfNv20208() {
    if (!ctx_.ok()) return;
    if (!switchForRfNv()) return;
    const auto read = RunNvRequest(ctx_, RfNvReadRequest(kRfFixItem), kRfNvReadRule,
                                   AnswerItem{kRfNvIdAt, static_cast<uint16_t>(kRfFixItem)});
    if (!read) return;
    // The write below reuses the reply buffer.
    const std::vector<uint8_t> answer(read->begin(), read->end());
    if (CheckNvStatus(ctx_.reporter, answer, ItemPrefix(kRfFixItem), NvStatusVariant::Rf) == 0) {
        ctx_.reporter.ShowStatus(LineClass::Ordinary, "Read NV 20208......OK");
    }
    const size_t badAt = kRfNvDataAt;
    if (answer.size() >= badAt + kRfFixBadValues.size() &&
        std::equal(kRfFixBadValues.begin(), kRfFixBadValues.end(), answer.begin() + badAt)) {
        const auto written = RunNvRequest(ctx_, RfNvWriteRequest(kRfFixItem, kRfFixGoodValues), kRfNvFixWriteRule);
        if (!written) return;
    }
    ctx_.reporter.ShowStatus(LineClass::Ordinary, "Backup NV......OK");
    clearOwnError();
}

}  // namespace flintcast::engine
