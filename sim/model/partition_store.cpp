#include "sim/model/partition_store.h"

#include <system_error>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace flintcast::sim {
namespace fs = std::filesystem;
namespace {

constexpr size_t kCopyChunk = 1024 * 1024;

// Adds the bytes of `in` to `hash` and, when `out` is given, appends them to it.
bool HashAndCopy(std::FILE* in, std::FILE* out, Sha256& hash, uint64_t& size) {
    std::vector<uint8_t> buf(kCopyChunk);
    while (true) {
        const size_t n = std::fread(buf.data(), 1, buf.size(), in);
        if (n == 0) return std::ferror(in) == 0;
        if (out && std::fwrite(buf.data(), 1, n, out) != n) return false;
        hash.Update(std::span(buf.data(), n));
        size += n;
    }
}

std::string Hex(const std::array<uint8_t, 32>& digest) {
    std::string out;
    for (uint8_t b : digest) out += fmt::format("{:02x}", b);
    return out;
}

}  // namespace

PartitionStore::PartitionStore(fs::path folder, std::map<std::string, uint64_t> capacities)
    : folder_(std::move(folder)), capacities_(std::move(capacities)) {
    fs::create_directories(folder_);
    std::error_code ec;
    for (const auto& [name, capacity] : capacities_) fs::remove(PartitionPath(name), ec);
    fs::remove(DownloadPath(), ec);
}

PartitionStore::~PartitionStore() { CloseDownload(); }

uint64_t PartitionStore::Capacity(const std::string& name) const {
    const auto it = capacities_.find(name);
    return it == capacities_.end() ? 0 : it->second;
}

void PartitionStore::CloseDownload() {
    if (download_) std::fclose(download_);
    download_ = nullptr;
}

bool PartitionStore::BeginDownload(uint32_t size) {
    AbandonDownload();
    download_ = std::fopen(DownloadPath().c_str(), "wb");
    if (!download_) return false;
    downloading_ = true;
    expected_ = size;
    received_ = 0;
    return true;
}

bool PartitionStore::AppendDownload(std::span<const uint8_t> bytes) {
    if (!downloading_ || !download_ || bytes.size() > expected_ - received_) return false;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), download_) != bytes.size()) return false;
    received_ += bytes.size();
    if (received_ == expected_) {
        CloseDownload();  // complete: flushed and ready to be flashed
    }
    return true;
}

void PartitionStore::AbandonDownload() {
    CloseDownload();
    downloading_ = false;
    expected_ = 0;
    received_ = 0;
    std::error_code ec;
    fs::remove(DownloadPath(), ec);
}

std::string PartitionStore::CheckFlash(const std::string& name) const {
    if (!Has(name)) return fmt::format("partition '{}' does not exist", name);
    if (!DownloadComplete()) return "no image downloaded";
    return {};
}

std::string PartitionStore::Flash(const std::string& name) {
    if (auto err = CheckFlash(name); !err.empty()) return err;
    if (received_ > Capacity(name)) {
        AbandonDownload();
        return fmt::format("image too large for partition '{}'", name);
    }
    std::error_code ec;
    fs::rename(DownloadPath(), PartitionPath(name), ec);
    if (ec) {
        AbandonDownload();
        return "flash write failure";
    }
    // Each image byte is hashed once, when it is flashed: a chunked image is not hashed again
    // as it is appended to its partition.
    auto& w = written_[name];
    w.size = 0;
    w.hash = Sha256();
    std::FILE* in = std::fopen(PartitionPath(name).c_str(), "rb");
    const bool hashed = in && HashAndCopy(in, nullptr, w.hash, w.size);
    if (in) std::fclose(in);
    w.seriesOpen = false;
    downloading_ = false;
    expected_ = 0;
    received_ = 0;
    return hashed ? std::string() : "flash write failure";
}

std::string PartitionStore::FlashChunk(const std::string& name, bool last) {
    if (auto err = CheckFlash(name); !err.empty()) return err;
    auto& w = written_[name];
    const bool fresh = !w.seriesOpen;
    const uint64_t before = fresh ? 0 : w.size;
    if (before + received_ > Capacity(name)) {
        AbandonDownload();
        w.seriesOpen = false;
        return fmt::format("image too large for partition '{}'", name);
    }
    if (fresh) {
        w.size = 0;
        w.hash = Sha256();
    }
    bool ok = true;
    std::FILE* out = nullptr;
    if (fresh) {
        // The first chunk becomes the partition as it is; later ones are appended to it.
        std::error_code ec;
        fs::rename(DownloadPath(), PartitionPath(name), ec);
        ok = !ec;
    } else {
        out = std::fopen(PartitionPath(name).c_str(), "ab");
        ok = out != nullptr;
    }
    std::FILE* in = ok ? std::fopen((fresh ? PartitionPath(name) : DownloadPath()).c_str(), "rb") : nullptr;
    ok = ok && in && HashAndCopy(in, out, w.hash, w.size);
    if (in) std::fclose(in);
    if (out && std::fclose(out) != 0) ok = false;
    AbandonDownload();
    w.seriesOpen = ok && !last;
    return ok ? std::string() : "flash write failure";
}

std::string PartitionStore::Erase(const std::string& name) {
    if (!Has(name)) return fmt::format("partition '{}' does not exist", name);
    std::error_code ec;
    fs::remove(PartitionPath(name), ec);
    written_.erase(name);
    return {};
}

nlohmann::json PartitionStore::ToJson() const {
    auto j = nlohmann::json::object();
    for (const auto& [name, w] : written_) {
        Sha256 copy = w.hash;  // the running digest stays open for later chunks
        j[name] = {{"size", w.size}, {"sha256", Hex(copy.Finish())}};
    }
    return j;
}

}  // namespace flintcast::sim
