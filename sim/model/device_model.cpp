#include "sim/model/device_model.h"

#include <algorithm>
#include <cstring>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "sim/model/sha256.h"

namespace flintcast::sim {
namespace {

std::string Hex(const uint8_t* data, size_t size) {
    std::string text;
    text.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) text += fmt::format("{:02x}", data[i]);
    return text;
}

std::string Hex(const std::vector<uint8_t>& bytes) { return Hex(bytes.data(), bytes.size()); }

const char* StatusName(NvStatus status) {
    switch (status) {
    case NvStatus::Done: return "active";
    case NvStatus::Inactive: return "inactive";
    case NvStatus::ReadOnly: return "read-only";
    case NvStatus::NotDefined: return "undefined";
    default: return "other";
    }
}

}  // namespace

DeviceModel::DeviceModel(std::filesystem::path stateFolder)
    : flash(stateFolder.empty() ? std::filesystem::path{} : stateFolder / "flash") {}

void DeviceModel::CaptureFactory() { factory_ = Factory{nv, efs}; }

void DeviceModel::CaptureWipedFactory() {
    Factory wiped;
    for (const auto& [id, item] : nv.items()) {
        NvItem blank = item;
        if (item.status == NvStatus::Done) blank = NvItem{id, {}, NvStatus::Inactive};
        wiped.nv.Set(blank);
    }
    for (const auto& [path, node] : efs.nodes()) {
        if (node.isDir) wiped.efs.AddDir(path, node.mode & 0777);
    }
    factory_ = std::move(wiped);
}

void DeviceModel::RestoreFactory() {
    if (factory_) {
        nv = factory_->nv;
        efs = factory_->efs;
    } else {
        nv = NvStore{};
        efs = EfsTree{};
    }
    ++factoryRestores_;
}

bool DeviceModel::AdoptVersionFromAmss(const std::vector<uint8_t>& image) {
    const size_t markerLength = std::strlen(kVersionMarker);
    const size_t searchEnd = std::min(image.size(), kVersionSearchBytes);
    const auto first = image.begin();
    const auto last = first + static_cast<std::ptrdiff_t>(searchEnd);
    const auto at = std::search(first, last, kVersionMarker, kVersionMarker + markerLength);
    if (at == last) return false;
    std::string version;
    for (auto it = at + static_cast<std::ptrdiff_t>(markerLength); it != image.end(); ++it) {
        if (*it == 0) {
            if (version.empty()) return false;
            softwareVersion = version;
            return true;
        }
        // Only printable ASCII counts as a version text.
        if (*it < 0x20 || *it > 0x7E || version.size() >= kMaxVersionLength) return false;
        version += static_cast<char>(*it);
    }
    return false;  // no NUL before the end of the image
}

void DeviceModel::OnRestart() {
    testMode = false;
    offline = false;
    locked = settings.securityLock;
    ram.Clear();
}

uint8_t DeviceModel::NvLockAnswer(uint16_t id, bool write) const {
    if (!locked) return 0;
    const bool guarded = write || std::find(settings.protectedNvItems.begin(), settings.protectedNvItems.end(), id) !=
                                      settings.protectedNvItems.end();
    return guarded ? settings.lockAnswer : 0;
}

uint64_t DeviceModel::Counter(const std::string& kind) const {
    const auto it = counters_.find(kind);
    return it == counters_.end() ? 0 : it->second;
}

nlohmann::json DeviceModel::ToJson() const {
    using nlohmann::json;
    json out;
    out["software_version"] = softwareVersion;
    out["test_mode"] = testMode;
    out["offline"] = offline;
    out["locked"] = locked;
    out["factory_restores"] = factoryRestores_;

    json nvItems = json::array();
    for (const auto& [id, item] : nv.items()) {
        nvItems.push_back({{"id", id}, {"status", StatusName(item.status)},
                           {"status_code", static_cast<uint16_t>(item.status)},
                           {"data", Hex(item.data.data(), item.data.size())}});
    }
    out["nv_items"] = std::move(nvItems);

    json rfItems = json::array();
    for (const auto& [id, item] : nv.rfItems()) {
        rfItems.push_back({{"id", id}, {"size", item.data.size()}, {"data", Hex(item.data)}});
    }
    out["rf_nv_items"] = std::move(rfItems);

    json tree = json::array();
    for (const auto& [path, node] : efs.nodes()) {
        json entry = {{"path", path}, {"type", node.isDir ? "dir" : "file"},
                      {"mode", fmt::format("{:o}", node.mode & 0777)}};
        if (!node.isDir) {
            entry["size"] = node.contents.size();
            entry["sha256"] = Sha256Hex(node.contents);
        }
        tree.push_back(std::move(entry));
    }
    out["efs"] = std::move(tree);

    json images = json::object();
    for (const auto& [kind, image] : flash.images()) {
        json entry = {{"size", image.size}, {"sha256", image.sha256},
                      {"complete", image.complete}, {"times_written", image.timesWritten}};
        if (!flash.folder().empty()) entry["file"] = flash.FileOf(kind).string();
        if (!image.header.empty()) {
            entry["header_size"] = image.header.size();
            entry["header_sha256"] = Sha256Hex(image.header);
        }
        images[std::string(ImageKindName(kind))] = std::move(entry);
    }
    out["images"] = std::move(images);
    if (flash.IsOpen()) {
        out["image_open"] = {{"kind", std::string(ImageKindName(*flash.OpenKind()))},
                             {"size", flash.OpenSize()}};
    }

    out["partition_table"] = partitionTable ? json(Hex(*partitionTable)) : json(nullptr);

    json ranges = json::array();
    for (const auto& [start, length] : ram.Ranges()) {
        ranges.push_back({{"address", fmt::format("0x{:08x}", start)}, {"size", length}});
    }
    out["download_ram"] = std::move(ranges);

    json counts = json::object();
    for (const auto& [kind, count] : counters_) counts[kind] = count;
    out["requests"] = std::move(counts);
    return out;
}

}  // namespace flintcast::sim
