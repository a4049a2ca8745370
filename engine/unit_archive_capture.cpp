#include "engine/unit_archive_capture.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <fmt/format.h>

#include "codec/byte_order.h"
#include "engine/at_channel.h"
#include "engine/diag_batch.h"
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
using efs::Command;
using efs::IsAnswerTo;
using efs::Le32At;

constexpr uint32_t kIdCount = 0x10000;
constexpr size_t kNvStatusAt = 1 + 2 + kNvItemBytes;
constexpr int kEfsAttempts = 3;

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A refusal echoes the request behind its code; the unit answered, but not with the item.
bool IsRefusalOf(std::span<const uint8_t> payload, std::span<const uint8_t> request) {
    return payload.size() == request.size() + 1 && std::equal(request.begin(), request.end(), payload.begin() + 1);
}

bool IsNvAnswer(std::span<const uint8_t> payload, uint16_t id) {
    return payload.size() == kNvRequestBytes && payload[0] == kNvReadCommand && byte_order::Le16(payload, 1) == id;
}

bool IsRfNvAnswer(std::span<const uint8_t> payload, uint16_t id) {
    return payload.size() >= kRfNvDataAt && payload[0] == kSubsystemDispatch &&
           byte_order::Le16(payload, kRfNvIdAt) == id;
}

std::string JoinPath(const std::string& dir, std::string_view name) {
    return dir == "/" ? "/" + std::string(name) : dir + "/" + std::string(name);
}

}  // namespace

bool LoadNvBackupRecords(const std::string& nvBak, std::map<uint16_t, std::vector<uint8_t>>& out) {
    const auto bytes = ReadWholeFile(nvBak);
    if (!bytes || bytes->size() % kNvRecordBytes != 0) return false;
    for (size_t at = 0; at < bytes->size(); at += kNvRecordBytes) {
        const auto record = std::span<const uint8_t>(*bytes).subspan(at, kNvRecordBytes);
        out[byte_order::Le16(record, 0)].assign(record.begin() + 2, record.end());
    }
    return true;
}

bool LoadRfNvBackupRecords(const std::string& nv1Bak, std::map<uint16_t, std::vector<uint8_t>>& out) {
    const auto bytes = ReadWholeFile(nv1Bak);
    if (!bytes) return false;
    const std::span<const uint8_t> all(*bytes);
    size_t at = 0;
    while (at < all.size()) {
        if (all.size() - at < 4) return false;
        const uint16_t id = byte_order::Le16(all, at);
        const uint16_t size = byte_order::Le16(all, at + 2);
        if (all.size() - at - 4 < size) return false;
        out[id].assign(all.begin() + static_cast<std::ptrdiff_t>(at + 4),
                       all.begin() + static_cast<std::ptrdiff_t>(at + 4 + size));
        at += 4 + size;
    }
    return true;
}

UnitArchiveCapture::UnitArchiveCapture(WorkerContext& ctx, AtChannel& at) : ctx_(ctx), at_(at) {}

bool UnitArchiveCapture::ReadNv(const std::vector<uint16_t>& ids, std::vector<Item>& out) {
    std::vector<std::vector<uint8_t>> requests;
    requests.reserve(ids.size());
    for (uint16_t id : ids) {
        const auto request = NvReadRequest(id);
        requests.emplace_back(request.begin(), request.end());
    }
    const auto result = DiagBatchExchange(ctx_, requests, [&](size_t i, std::span<const uint8_t> payload) {
        return IsNvAnswer(payload, ids[i]) || IsRefusalOf(payload, requests[i]);
    });
    if (!result.complete) return false;
    for (size_t i = 0; i < ids.size(); ++i) {
        const auto& payload = *result.answers[i];
        if (!IsNvAnswer(payload, ids[i]) || byte_order::Le16(payload, kNvStatusAt) != 0) continue;
        out.push_back({Kind::Nv, ids[i], {}, {payload.begin() + 3, payload.begin() + 3 + kNvItemBytes}});
    }
    return true;
}

bool UnitArchiveCapture::ReadRfNv(const std::vector<uint16_t>& ids, std::vector<Item>& out) {
    std::vector<std::vector<uint8_t>> requests;
    requests.reserve(ids.size());
    for (uint16_t id : ids) requests.push_back(RfNvReadRequest(id));
    const auto result = DiagBatchExchange(ctx_, requests, [&](size_t i, std::span<const uint8_t> payload) {
        return IsRfNvAnswer(payload, ids[i]) || IsRefusalOf(payload, requests[i]);
    });
    if (!result.complete) return false;
    for (size_t i = 0; i < ids.size(); ++i) {
        const auto& payload = *result.answers[i];
        if (!IsRfNvAnswer(payload, ids[i]) || byte_order::Le16(payload, kRfNvStatusAt) != 0) continue;
        const size_t size = byte_order::Le16(payload, kRfNvSizeAt);
        if (payload.size() < kRfNvDataAt + size) continue;
        out.push_back({Kind::RfNv, ids[i], {}, {payload.begin() + kRfNvDataAt, payload.begin() + kRfNvDataAt + size}});
    }
    return true;
}

int UnitArchiveCapture::EfsKind(const std::string& path) {
    const auto request = efs::StatRequest(path);
    for (int attempt = 0; attempt < kEfsAttempts && ctx_.ok(); ++attempt) {
        const auto reply = DiagExchange(ctx_, request).payload();
        if (!IsAnswerTo(reply, Command::Stat)) continue;
        if (Le32At(reply, 4) != 0) return 0;
        const uint32_t type = (Le32At(reply, 8) >> 12) & 0xF;
        return type == 0x4 ? 1 : type == 0x8 ? 2 : 0;
    }
    return -1;
}

std::optional<std::vector<uint8_t>> UnitArchiveCapture::ReadEfsFile(const std::string& path) {
    const auto exchange = [this](const std::vector<uint8_t>& request, auto accept) -> std::optional<std::vector<uint8_t>> {
        for (int attempt = 0; attempt < kEfsAttempts && ctx_.ok(); ++attempt) {
            const auto reply = DiagExchange(ctx_, request).payload();
            if (!reply.empty() && accept(reply)) return std::vector<uint8_t>(reply.begin(), reply.end());
        }
        return std::nullopt;
    };
    const auto stat = exchange(efs::StatRequest(path), [](auto r) { return IsAnswerTo(r, Command::Stat); });
    if (!stat || Le32At(*stat, 4) != 0 || ((Le32At(*stat, 8) >> 12) & 0xF) != 0x8) return std::nullopt;
    const uint32_t size = Le32At(*stat, efs::kStatSizeOffset);
    const auto open = exchange(efs::OpenForReadRequest(path), [](auto r) { return IsAnswerTo(r, Command::Open); });
    if (!open || Le32At(*open, efs::kOpenErrnoOffset) != 0) return std::nullopt;
    const uint32_t handle = Le32At(*open, efs::kHandleOffset);
    std::vector<uint8_t> contents;
    bool whole = true;
    while (contents.size() < size && ctx_.ok()) {
        const auto offset = static_cast<uint32_t>(contents.size());
        const auto block = exchange(efs::ReadRequest(handle, offset), [handle, offset](auto r) {
            return IsAnswerTo(r, Command::Read) && Le32At(r, 4) == handle && Le32At(r, 8) == offset;
        });
        if (!block || Le32At(*block, 16) != 0 || block->size() <= efs::kReadDataOffset) {
            whole = false;
            break;
        }
        const size_t got = std::min<size_t>(block->size() - efs::kReadDataOffset, size - contents.size());
        contents.insert(contents.end(), block->begin() + efs::kReadDataOffset,
                        block->begin() + static_cast<std::ptrdiff_t>(efs::kReadDataOffset + got));
    }
    exchange(efs::CloseRequest(handle), [](auto r) { return IsAnswerTo(r, Command::Close); });
    if (!whole || contents.size() != size) return std::nullopt;
    return contents;
}

bool UnitArchiveCapture::ReadEfsTree(const std::string& dir, const std::string& mirror, std::vector<Item>& out) {
    EfsClient client(ctx_);
    if (client.OpenEfsDir(dir) != 0) {
        // A directory the unit does not list is named, and the archive goes on without it.
        if (ctx_.ok())
            ctx_.reporter.ShowStatus(LineClass::Ordinary,
                                     fmt::format("Warning: the unit archive could not list the EFS directory {}", dir));
        return ctx_.ok();
    }
    std::vector<std::pair<std::string, bool>> entries;
    for (uint32_t sequence = 1; ctx_.ok(); ++sequence) {
        efs::DirEntry entry;
        if (client.ReadDirEntry(sequence, entry) != 0 || entry.isEnd()) break;
        const std::string name(entry.name.begin(), entry.name.end());
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) continue;
        if (entry.isDirectory() || entry.isFile()) entries.emplace_back(JoinPath(dir, name), entry.isDirectory());
    }
    client.CloseEfsDir();
    for (const auto& [path, isDir] : entries) {
        if (!ctx_.ok()) break;
        if (isDir) {
            out.push_back({Kind::EfsDir, 0, path, {}});
            if (!ReadEfsTree(path, mirror, out)) return false;
            continue;
        }
        std::error_code ec;
        const std::string copy = mirror.empty() ? std::string() : mirror + path;
        if (!copy.empty() && std::filesystem::is_regular_file(copy, ec)) {
            // The user-data backup of this run copied it already.
            auto contents = ReadWholeFile(copy);
            if (contents) {
                out.push_back({Kind::EfsFile, 0, path, std::move(*contents)});
                continue;
            }
        }
        if (auto contents = ReadEfsFile(path)) {
            out.push_back({Kind::EfsFile, 0, path, std::move(*contents)});
        } else if (ctx_.ok()) {
            ctx_.reporter.ShowStatus(LineClass::Ordinary,
                                     fmt::format("Warning: the unit archive could not read the EFS file {}", path));
        }
    }
    return ctx_.ok();
}

std::optional<std::string> UnitArchiveCapture::ReadIdentityValue(IdentityValue value) {
    std::string text;
    if (!at_.QueryAT(FieldOf(value).readCommand, text)) return std::nullopt;
    return StripLineBreaks(text);
}

std::optional<archive::UnitArchive> UnitArchiveCapture::Capture(const std::string& unitTag, const CatalogueReads& known) {
    archive::UnitArchive result;
    result.unitTag = unitTag;
    auto& items = result.items;

    for (const auto& field : IdentityFields()) {
        if (!ctx_.ok()) return std::nullopt;
        const auto index = static_cast<uint16_t>(field.value);
        std::optional<std::string> value;
        if (const auto it = known.identity.find(field.value); it != known.identity.end()) {
            value = StripLineBreaks(it->second);
        } else if (ctx_.serial.modemOpen()) {
            value = ReadIdentityValue(field.value);
        }
        if (value) items.push_back({Kind::Identity, index, std::string(field.dataKey), {value->begin(), value->end()}});
    }

    std::vector<uint16_t> nvIds;
    for (uint32_t id = 0; id < kIdCount; ++id) {
        const auto item = static_cast<uint16_t>(id);
        if (const auto it = known.nvActive.find(item); it != known.nvActive.end()) {
            items.push_back({Kind::Nv, item, {}, it->second});
        } else if (!known.nvAsked.contains(item)) {
            nvIds.push_back(item);
        }
    }
    if (!ReadNv(nvIds, items)) return std::nullopt;

    // The RF NV items are reached through the factory-test mode.
    if (!ctx_.ok() || !SwitchDiagMode(ctx_)) return std::nullopt;
    std::vector<uint16_t> rfIds;
    for (uint32_t id = 0; id < kIdCount; ++id) {
        const auto item = static_cast<uint16_t>(id);
        if (const auto it = known.rfAnswered.find(item); it != known.rfAnswered.end()) {
            items.push_back({Kind::RfNv, item, {}, it->second});
        } else if (!known.rfAsked.contains(item)) {
            rfIds.push_back(item);
        }
    }
    if (!ReadRfNv(rfIds, items)) return std::nullopt;

    if (!ReadEfsTree("/", known.efsMirror, items)) return std::nullopt;
    return result;
}

std::optional<std::vector<Item>> UnitArchiveCapture::ReadBack(const std::vector<Item>& wanted) {
    std::vector<Item> now;
    std::vector<uint16_t> nvIds, rfIds;
    for (const auto& item : wanted) {
        if (!ctx_.ok()) return std::nullopt;
        switch (item.kind) {
            case Kind::Identity:
                if (!ctx_.serial.modemOpen()) break;
                if (auto value = ReadIdentityValue(static_cast<IdentityValue>(item.id)))
                    now.push_back({Kind::Identity, item.id, item.name, {value->begin(), value->end()}});
                break;
            case Kind::Nv: nvIds.push_back(item.id); break;
            case Kind::RfNv: rfIds.push_back(item.id); break;
            case Kind::EfsDir:
                if (EfsKind(item.name) == 1) now.push_back(item);
                break;
            case Kind::EfsFile:
                if (auto contents = ReadEfsFile(item.name)) now.push_back({Kind::EfsFile, 0, item.name, std::move(*contents)});
                break;
        }
    }
    if (!nvIds.empty() && !ReadNv(nvIds, now)) return std::nullopt;
    if (!rfIds.empty() && (!SwitchDiagMode(ctx_) || !ReadRfNv(rfIds, now))) return std::nullopt;
    if (!ctx_.ok()) return std::nullopt;
    return now;
}

}  // namespace flintcast::engine
