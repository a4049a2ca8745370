#include "engine/unit_archive_restore.h"

#include <algorithm>

#include <fmt/format.h>

#include "codec/byte_order.h"
#include "engine/at_channel.h"
#include "engine/diag_exchange.h"
#include "engine/diag_mode.h"
#include "engine/efs_client.h"
#include "engine/efs_requests.h"
#include "engine/identity_table.h"
#include "engine/nv_requests.h"

namespace flintcast::engine {
namespace {

using archive::Item;
using archive::Kind;

constexpr int kWriteAttempts = 3;

// Kinds in the order they are written: identity on the modem port first, then the plain NV
// items, the EFS tree (directories before files) and last the RF NV items, which take the
// modem offline.
int WriteOrder(Kind kind) {
    switch (kind) {
        case Kind::Identity: return 0;
        case Kind::Nv: return 1;
        case Kind::EfsDir: return 2;
        case Kind::EfsFile: return 3;
        case Kind::RfNv: return 4;
    }
    return 5;
}

}  // namespace

UnitArchiveRestore::UnitArchiveRestore(WorkerContext& ctx, AtChannel& at) : ctx_(ctx), at_(at) {}

bool UnitArchiveRestore::WriteIdentity(const Item& item) {
    const auto fields = IdentityFields();
    if (item.id >= fields.size() || !ctx_.serial.modemOpen()) return false;
    const auto& field = fields[item.id];
    const std::string value(item.data.begin(), item.data.end());
    const std::string command =
        field.quoted ? fmt::format("{}\"{}\"\r\n", field.writePrefix, value) : fmt::format("{}{}\r\n", field.writePrefix, value);
    std::string ignored;
    return at_.QueryAT(command, ignored);
}

bool UnitArchiveRestore::WriteNv(const Item& item) {
    const auto request = NvWriteRequest(item.id, item.data);
    for (int attempt = 0; attempt < kWriteAttempts && ctx_.ok(); ++attempt) {
        const auto reply = DiagExchange(ctx_, request).payload();
        if (reply.size() != kNvRequestBytes || reply[0] != kNvWriteCommand || byte_order::Le16(reply, 1) != item.id)
            continue;
        return byte_order::Le16(reply, kNvRequestBytes - 2) == 0;
    }
    return false;
}

bool UnitArchiveRestore::WriteRfNv(const Item& item) {
    const auto request = RfNvWriteRequest(item.id, item.data);
    for (int attempt = 0; attempt < kWriteAttempts && ctx_.ok(); ++attempt) {
        const auto reply = DiagExchange(ctx_, request).payload();
        if (reply.size() < kRfNvDataAt || reply[0] != kSubsystemDispatch || byte_order::Le16(reply, kRfNvIdAt) != item.id)
            continue;
        return byte_order::Le16(reply, kRfNvStatusAt) == 0;
    }
    return false;
}

bool UnitArchiveRestore::MakeDirWithParents(const std::string& path) {
    EfsClient client(ctx_);
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string level = slash == std::string::npos ? path : path.substr(0, slash);
        if (client.MakeEfsDir(level) != 0) return false;
        if (slash == std::string::npos) return true;
    }
}

bool UnitArchiveRestore::WriteEfsFile(const Item& item) {
    const size_t slash = item.name.rfind('/');
    if (slash > 0 && !MakeDirWithParents(item.name.substr(0, slash))) return false;
    EfsClient client(ctx_);
    if (client.OpenEfsFileForWrite(item.name) != 0) return false;
    bool written = true;
    for (size_t offset = 0; offset < item.data.size() && written; offset += efs::kWriteBlockBytes) {
        const size_t count = std::min<size_t>(efs::kWriteBlockBytes, item.data.size() - offset);
        written = client.WriteEfsChunk(static_cast<uint32_t>(offset),
                                       std::span<const uint8_t>(item.data).subspan(offset, count)) == 0;
    }
    return client.CloseEfsFile() == 0 && written;
}

std::vector<std::string> UnitArchiveRestore::Write(const std::vector<Item>& items) {
    std::vector<const Item*> ordered;
    for (const auto& item : items) ordered.push_back(&item);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Item* a, const Item* b) { return WriteOrder(a->kind) < WriteOrder(b->kind); });

    std::vector<std::string> refused;
    bool rfModeOn = false;
    for (const Item* item : ordered) {
        if (!ctx_.ok()) break;
        bool done = false;
        switch (item->kind) {
            case Kind::Identity: done = WriteIdentity(*item); break;
            case Kind::Nv: done = WriteNv(*item); break;
            case Kind::EfsDir: done = MakeDirWithParents(item->name); break;
            case Kind::EfsFile: done = WriteEfsFile(*item); break;
            case Kind::RfNv:
                if (!rfModeOn) {
                    // RF calibration is written with the radio off, in the factory-test mode.
                    if (ctx_.serial.modemOpen()) at_.SendAT("AT+CFUN=5\r\n\r\n");
                    rfModeOn = SwitchDiagMode(ctx_);
                }
                done = rfModeOn && WriteRfNv(*item);
                break;
        }
        const std::string label = archive::ItemLabel(*item);
        ctx_.reporter.ShowStatus(LineClass::Ordinary, done ? fmt::format("Restored {}", label)
                                                           : fmt::format("Could not restore {}", label));
        if (!done) refused.push_back(label);
    }
    if (rfModeOn && ctx_.serial.modemOpen()) at_.SendAT("AT+CFUN=1\r\n\r\n");
    return refused;
}

}  // namespace flintcast::engine
