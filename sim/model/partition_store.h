#pragma once
// The flash partitions of an Android-based unit as its bootloader writes them, and the
// bootloader's download buffer. Both live in files under the state folder, so an image of
// hundreds of megabytes is never held in memory; sizes and SHA-256 digests are kept as the
// bytes go by.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <span>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "sim/model/sha256.h"

namespace flintcast::sim {

class PartitionStore {
public:
    // `capacities`: the partitions the unit has, with their sizes in bytes.
    PartitionStore(std::filesystem::path folder, std::map<std::string, uint64_t> capacities);
    ~PartitionStore();
    PartitionStore(const PartitionStore&) = delete;
    PartitionStore& operator=(const PartitionStore&) = delete;

    bool Has(const std::string& name) const { return capacities_.contains(name); }
    uint64_t Capacity(const std::string& name) const;
    const std::map<std::string, uint64_t>& capacities() const { return capacities_; }

    // Starts a new download of `size` bytes, dropping any earlier one. False when the buffer
    // file cannot be opened.
    bool BeginDownload(uint32_t size);
    // Adds received bytes; false when they do not fit the announced size or cannot be stored.
    bool AppendDownload(std::span<const uint8_t> bytes);
    bool DownloadComplete() const { return downloading_ && received_ == expected_; }
    uint64_t received() const { return received_; }
    uint64_t DownloadRemaining() const { return downloading_ ? expected_ - received_ : 0; }
    void AbandonDownload();

    // Writes the completed download into the partition, replacing its content. Returns an error
    // text for the FAIL reply, or empty. The download is used up.
    std::string Flash(const std::string& name);
    // Appends the completed download to the partition. The first chunk after a whole flash or
    // a completed series starts the partition anew; `last` completes the series.
    std::string FlashChunk(const std::string& name, bool last);
    std::string Erase(const std::string& name);

    // {NAME: {"size": N, "sha256": HEX}} for every partition written so far.
    nlohmann::json ToJson() const;

private:
    struct Written {
        uint64_t size = 0;
        Sha256 hash;
        bool seriesOpen = false;  // a chunk series is being appended
    };

    std::filesystem::path folder_;
    std::map<std::string, uint64_t> capacities_;
    std::map<std::string, Written> written_;

    std::FILE* download_ = nullptr;
    bool downloading_ = false;
    uint32_t expected_ = 0;
    uint64_t received_ = 0;

    std::filesystem::path DownloadPath() const { return folder_ / "download.buf"; }
    std::filesystem::path PartitionPath(const std::string& name) const { return folder_ / (name + ".img"); }
    std::string CheckFlash(const std::string& name) const;
    void CloseDownload();
};

}  // namespace flintcast::sim
