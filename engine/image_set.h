#pragma once
// The image set: the staged image files the worker writes to the device, their
// sizes and total, the CRC-16 slots of the fast download mode and the load address
// of the flash programmer. The controller fills it (scan and verification of the
// image folder) and copies it into every worker.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace flintcast::engine {

// One path slot per image kind.
enum class ImageSlot : int {
    Programmer,         // the converted flash programmer (binary)
    Partition,          // partition.mbn
    Amss,               // amss.mbn
    AmssHeader,         // amsshd.mbn
    PhoneImage,         // all.mbn
    Efs,                // efs.mbn
    CompactEfs,         // cefs.mbn
    AppsEfs,            // cefs_apps.mbn
    RawAppsEfs,         // nandimage
    Dbl,                // dbl.mbn
    Fsbl,               // fsbl.mbn
    Osbl,               // osbl.mbn
    Qcsbl,              // qcsbl.mbn
    QcsblHeader,        // qcsblhd_cfgdata.mbn
    Oemsbl,             // oemsbl.mbn
    OemsblHeader,       // oemsblhd.mbn
    Dsp1,               // dsp1.mbn
    Dsp2,               // dsp2.mbn
    Cfgdata,            // cfgdata.mbn
    AppsBootHeader,     // appsboothd.mbn
    AppsBoot,           // appsboot.mbn
    AppsHeader,         // appshd.mbn
    Apps,               // apps.mbn
    PcSuite,            // CD-ROM, disk or resource image
    FastbootBoot,       // boot.img
    FastbootSystem,     // system.img
    FastbootRecovery,   // recovery.img
    FastbootUserdata,   // userdata.img
    FastbootSplash,     // splash.bin
    NvBackup,           // nv.bak
    AtBackup,           // at.bak
    Count
};
inline constexpr std::size_t kImageSlotCount = static_cast<std::size_t>(ImageSlot::Count);

// The 17 CRC-16 slots of the fast download mode, in the order the worker indexes them.
enum class CrcSlot : int {
    Fsbl = 0,
    Dbl = 1,
    Osbl = 2,
    Qcsbl = 3,
    QcsblHeader = 4,
    Oemsbl = 5,
    Cfgdata = 6,
    Amss = 7,
    PhoneImage = 8,
    Dsp1 = 9,
    Dsp2 = 10,
    Apps = 11,
    AppsBoot = 12,
    CompactAppsEfs = 13,  // cefs_apps.mbn of project 7
    RawAppsEfs = 14,
    ProjectEfs = 15,      // efs.mbn, cefs.mbn (project 7) or cefs_apps.mbn (project 46)
    PcSuite = 16,
    Count
};
inline constexpr std::size_t kCrcSlotCount = static_cast<std::size_t>(CrcSlot::Count);

struct ImageFile {
    std::string path;   // empty when the slot is not filled
    uint32_t size = 0;  // byte count recorded by the verification
};

struct ImageSet {
    std::array<ImageFile, kImageSlotCount> files{};
    std::vector<ImageFile> partOfEfsFiles;  // one per [AddFiles] entry, in list order
    std::array<uint16_t, kCrcSlotCount> crc{};
    uint64_t totalBytes = 0;                // sum of every recorded size
    // Entries of the verified file list: the images, and in a run that restores without a
    // backup of its own, nv.bak and at.bak (whose bytes are restored, not written to flash,
    // so they stay out of the total that progress is measured against).
    std::size_t listedFiles = 0;
    uint32_t programmerLoadAddress = 0;

    ImageFile& file(ImageSlot slot) { return files[static_cast<std::size_t>(slot)]; }
    const ImageFile& file(ImageSlot slot) const { return files[static_cast<std::size_t>(slot)]; }
    uint16_t& crcOf(CrcSlot slot) { return crc[static_cast<std::size_t>(slot)]; }
    uint16_t crcOf(CrcSlot slot) const { return crc[static_cast<std::size_t>(slot)]; }
};

}  // namespace flintcast::engine
