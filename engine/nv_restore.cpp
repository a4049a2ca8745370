// Restores of nv.bak and nv1.bak. A restore only reads its backup file.
#include "codec/byte_order.h"
#include <array>
#include <cerrno>

#include <fmt/format.h>

#include "engine/at_channel.h"
#include "engine/image_file_reader.h"
#include "engine/nv_items.h"
#include "engine/nv_request_loop.h"
#include "engine/nv_requests.h"

namespace flintcast::engine {
namespace {

constexpr std::string_view kCouldNotOpen = "Could not open backup file: ";
constexpr std::string_view kSizeError = "backup file size error: ";
constexpr std::string_view kCouldNotRead = "Could not read from BIN file: ";

}  // namespace

std::string NvItems::recordName(const std::vector<NvEntry>& list, size_t position, int32_t id) const {
    // The list entry names the record when it is the record's item (after a backup in this
    // run); a backup from another run, or one the RF backup overwrote, is named by its id.
    if (position < list.size() && list[position].id == id) return list[position].name;
    return NvItemName(id);
}

void NvItems::RestoreNvItems() { restorePlainItems(NvStatusVariant::Plain); }

void NvItems::RestoreProjectNvItems() { restorePlainItems(NvStatusVariant::Project); }

void NvItems::restorePlainItems(NvStatusVariant variant) {
    const bool project = variant == NvStatusVariant::Project;
    ctx_.reporter.ShowStatus(LineClass::Ordinary, "Restore NV Start.");
    ImageFileReader file;
    if (!file.open(nvBakPath_)) {
        ctx_.reporter.ShowError(std::string(kCouldNotOpen) + nvBakPath_, errno);
        return;
    }
    if (file.size() == 0) {
        ctx_.reporter.ShowStatus(LineClass::Ordinary, "Backup file length <= 0");
        return;
    }
    // Not whole records, or more records than any backup writes: not a file of ours.
    if (file.size() % kNvRecordBytes != 0 || file.size() / kNvRecordBytes > kListCapacity) {
        ctx_.reporter.ShowError(std::string(kSizeError) + nvBakPath_, 0);
        return;
    }
    const auto& names = project ? Project12NvCatalogue() : savedNvList_;
    const size_t records = file.size() / kNvRecordBytes;
    for (size_t position = 0; position < records; ++position) {
        std::array<uint8_t, kNvRecordBytes> record{};
        if (!file.readFull(record.data(), record.size())) {
            ctx_.reporter.ShowError(std::string(kCouldNotRead) + nvBakPath_, errno);
            return;
        }
        const uint16_t id = byte_order::Le16(record, 0);
        const auto request = NvWriteRequest(id, std::span(record).subspan(2));
        const auto answer = RunNvRequest(ctx_, request, kNvWriteRule, AnswerItem{1, id});
        const std::string name = recordName(names, position, id);
        if (!answer) {
            ctx_.reporter.ShowError(fmt::format("[{}]{}:Fail to restore NV", id, name), 0);
            return;
        }
        const std::string prefix = project ? fmt::format("[{}]{}", id, name) : fmt::format("[{}]", id);
        const int result = CheckNvStatus(ctx_.reporter, *answer, prefix, variant);
        // An inactive or refused item has been logged; the items behind it (RF calibration
        // among them) are still restored.
        if (result != 0 && result != kNvStatusInactive && result != kNvStatusBadParameter) return;
        if (!ctx_.ok()) {
            ctx_.reporter.ShowStatus(LineClass::FailureNotice, "Fail to restore......");
            return;
        }
    }
    file.close();
    ctx_.reporter.ShowStatus(LineClass::Ordinary, "Restore NV......OK");
}

void NvItems::RestoreRfNvItems() {
    if (!switchForRfNv()) return;
    ctx_.reporter.ShowStatus(LineClass::Ordinary, "Restore NV Start.");
    ImageFileReader file;
    if (!file.open(nv1BakPath_)) {
        ctx_.reporter.ShowError(std::string(kCouldNotOpen) + nv1BakPath_, errno);
        return;
    }
    if (file.size() == 0) {
        ctx_.reporter.ShowStatus(LineClass::Ordinary, "Backup file length <= 0");
        return;
    }
    std::vector<uint8_t> record(kRfRecordBufferBytes);
    uint64_t consumed = 0;
    for (size_t position = 0; consumed < file.size(); ++position) {
        if (position >= kListCapacity) {
            ctx_.reporter.ShowError(std::string(kSizeError) + nv1BakPath_, 0);
            return;
        }
        if (!file.readFull(record.data(), 4)) {
            ctx_.reporter.ShowError(std::string(kCouldNotRead) + nv1BakPath_, errno);
            return;
        }
        const uint16_t id = byte_order::Le16(record, 0);
        const size_t size = byte_order::Le16(record, 2);
        if (4 + size > record.size()) {
            ctx_.reporter.ShowError(std::string(kSizeError) + nv1BakPath_, 0);
            return;
        }
        if (!file.readFull(record.data() + 4, size)) {
            ctx_.reporter.ShowError(std::string(kCouldNotRead) + nv1BakPath_, errno);
            return;
        }
        const auto data = std::span(record).subspan(4, size);
        const auto answer = RunNvRequest(ctx_, RfNvWriteRequest(id, data), kRfNvWriteRule, AnswerItem{kRfNvIdAt, id});
        const std::string failed = fmt::format("[{}]{}:Fail to restore NV", id, recordName(rfNvList_, position, id));
        if (!answer) {
            ctx_.reporter.ShowError(failed, 0);
            return;
        }
        // A calibration item the device did not take must not end in "PASS", which deletes the
        // backup folder and with it the only copy: the run fails and keeps it. Inactive (5) and
        // refused (6) items are logged and passed over, as in the plain restore.
        const int status = CheckNvStatus(ctx_.reporter, *answer, fmt::format("[{}]", id), NvStatusVariant::Rf);
        if (status == 1 || status == 4) ctx_.reporter.ShowError(failed, 0);
        if (!ctx_.ok()) {
            ctx_.reporter.ShowStatus(LineClass::FailureNotice, "Fail to restore......");
            return;
        }
        consumed += 4 + size;
    }
    file.close();
    ctx_.reporter.ShowStatus(LineClass::Ordinary, "Restore NV......OK");
}

}  // namespace flintcast::engine
