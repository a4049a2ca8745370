#include "sim/model/flash_store.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <system_error>

#include "sim/model/sha256.h"

namespace flintcast::sim {

std::optional<ImageKind> ImageKindFromOpen(uint8_t type, const std::vector<uint8_t>& extra) {
    switch (type) {
    case 0x02: return ImageKind::QcsblHeader;
    case 0x03: return ImageKind::Qcsbl;
    case 0x04: return ImageKind::Oemsbl;
    case 0x05: return ImageKind::Amss;
    case 0x06: return ImageKind::Apps;
    case 0x09: return ImageKind::Efs;
    case 0x0A: return ImageKind::AppsBoot;
    case 0x0B: return ImageKind::AppEfs;
    case 0x0D: return ImageKind::Dsp1;
    case 0x0E: {
        // The name runs up to its NUL; a name without one is malformed.
        const auto nul = std::find(extra.begin(), extra.end(), uint8_t{0});
        if (nul == extra.end()) return std::nullopt;
        const std::string name(extra.begin(), nul);
        if (name == "0:FTL") return ImageKind::Ftl;
        if (name == "0:USEDOWNLOAD") return ImageKind::UseDownload;
        return std::nullopt;
    }
    case 0x0F: return ImageKind::Dbl;
    case 0x10: return ImageKind::OsblPcSuite;
    case 0x11: return ImageKind::Fsbl;
    case 0x12: return ImageKind::Dsp2;
    case 0x13: return ImageKind::RawAppsEfs;
    case 0x20: return ImageKind::Companion;
    case 0x80: return ImageKind::Cfgdata;
    case 0x81: return ImageKind::NewPcSuite;
    default: return std::nullopt;
    }
}

bool ImageKindTakesHeader(ImageKind kind) {
    switch (kind) {
    case ImageKind::Oemsbl:
    case ImageKind::Amss:  // optional: newer projects open it without one
    case ImageKind::Apps:
    case ImageKind::AppsBoot:
        return true;
    default:
        return false;
    }
}

std::string_view ImageKindName(ImageKind kind) {
    switch (kind) {
    case ImageKind::QcsblHeader: return "qcsbl_header";
    case ImageKind::Qcsbl: return "qcsbl";
    case ImageKind::Oemsbl: return "oemsbl";
    case ImageKind::Amss: return "amss";
    case ImageKind::Apps: return "apps";
    case ImageKind::Efs: return "efs";
    case ImageKind::AppsBoot: return "apps_boot";
    case ImageKind::AppEfs: return "app_efs";
    case ImageKind::Dsp1: return "dsp1";
    case ImageKind::Ftl: return "ftl";
    case ImageKind::UseDownload: return "usedownload";
    case ImageKind::Dbl: return "dbl";
    case ImageKind::OsblPcSuite: return "osbl_pcsuite";
    case ImageKind::Fsbl: return "fsbl";
    case ImageKind::Dsp2: return "dsp2";
    case ImageKind::RawAppsEfs: return "raw_apps_efs";
    case ImageKind::Companion: return "companion";
    case ImageKind::Cfgdata: return "cfgdata";
    case ImageKind::NewPcSuite: return "new_pcsuite";
    }
    return "unknown";
}

bool IsEfsImage(ImageKind kind) { return kind == ImageKind::Efs || kind == ImageKind::AppEfs; }

FlashStore::FlashStore(std::filesystem::path folder) : folder_(std::move(folder)) {}

std::filesystem::path FlashStore::FileOf(ImageKind kind) const {
    return folder_ / (std::string(ImageKindName(kind)) + ".bin");
}

void FlashStore::Open(ImageKind kind, std::vector<uint8_t> header) {
    open_ = OpenImage{kind, std::move(header), {}};
    ++openCount_;
}

std::optional<ImageKind> FlashStore::OpenKind() const {
    return open_ ? std::optional<ImageKind>(open_->kind) : std::nullopt;
}

uint64_t FlashStore::OpenSize() const { return open_ ? open_->data.size() : 0; }

const std::vector<uint8_t>* FlashStore::OpenData() const { return open_ ? &open_->data : nullptr; }

FlashStore::WriteResult FlashStore::Write(uint64_t address, const uint8_t* data, size_t count) {
    if (!open_) return WriteResult::NoImageOpen;
    std::vector<uint8_t>& image = open_->data;
    if (address > image.size()) return WriteResult::Gap;
    const uint64_t end = address + count;
    if (end > kMaxImageBytes) return WriteResult::TooLarge;
    if (end > image.size()) image.resize(end);
    if (count > 0) std::memcpy(image.data() + address, data, count);
    return WriteResult::Ok;
}

std::optional<ImageKind> FlashStore::Close() {
    if (!open_) return std::nullopt;
    const ImageKind kind = open_->kind;
    Store(true);
    return kind;
}

void FlashStore::Abandon() {
    if (open_) Store(false);
}

namespace {

// Writes through a temporary name and renames, so a reader never sees half a file.
bool WriteWhole(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::filesystem::path temp = path;
    temp += ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) return false;
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    return !ec;
}

}  // namespace

void FlashStore::Store(bool complete) {
    OpenImage image = std::move(*open_);
    open_.reset();
    FlashImage& record = images_[image.kind];
    record.kind = image.kind;
    record.size = image.data.size();
    record.sha256 = Sha256Hex(image.data);
    record.complete = complete;
    ++record.timesWritten;
    record.header = std::move(image.header);
    if (folder_.empty()) {
        record.contents = std::move(image.data);
        return;
    }
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    // A failed write leaves the record without a file; the state file still shows the hash.
    WriteWhole(FileOf(image.kind), image.data);
    if (!record.header.empty()) {
        std::filesystem::path headerPath = folder_ / (std::string(ImageKindName(image.kind)) + ".hdr");
        WriteWhole(headerPath, record.header);
    }
}

}  // namespace flintcast::sim
