#pragma once
// The device's flash as the programmer writes it: one store per image kind, filled by
// writes that must run contiguously from address 0. Each image is kept in the state folder
// under a fixed file name chosen by its kind, never by anything taken from the wire.
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace flintcast::sim {

// The image kinds the open multi-image request can name.
enum class ImageKind {
    QcsblHeader,   // type 0x02
    Qcsbl,         // 0x03
    Oemsbl,        // 0x04
    Amss,          // 0x05
    Apps,          // 0x06
    Efs,           // 0x09 (EFS or modem EFS)
    AppsBoot,      // 0x0A
    AppEfs,        // 0x0B
    Dsp1,          // 0x0D
    Ftl,           // 0x0E named "0:FTL"
    UseDownload,   // 0x0E named "0:USEDOWNLOAD"
    Dbl,           // 0x0F
    OsblPcSuite,   // 0x10 (OSBL, or the PC suite image on older projects)
    Fsbl,          // 0x11
    Dsp2,          // 0x12
    RawAppsEfs,    // 0x13
    Companion,     // 0x20
    Cfgdata,       // 0x80
    NewPcSuite,    // 0x81
};

// Maps an open request (type byte and, for type 0x0E, the NUL-ended name in its extra bytes)
// to an image kind; nullopt for a type or name the device does not know.
std::optional<ImageKind> ImageKindFromOpen(uint8_t type, const std::vector<uint8_t>& extra);
// Whether the open request of this type carries a header file as its extra bytes.
bool ImageKindTakesHeader(ImageKind kind);
// Fixed short name of the kind ("amss", "efs", ...), used for file names and the state file.
std::string_view ImageKindName(ImageKind kind);
bool IsEfsImage(ImageKind kind);

struct FlashImage {
    ImageKind kind{};
    uint64_t size = 0;
    std::string sha256;       // hex, lower case
    std::vector<uint8_t> header;
    uint32_t timesWritten = 0;
    bool complete = false;    // closed normally (false: the write was cut off)
    std::vector<uint8_t> contents;  // kept only when the store has no folder
};

class FlashStore {
public:
    enum class WriteResult { Ok, NoImageOpen, Gap, TooLarge };

    // `folder` empty: images stay in memory (FlashImage::contents).
    explicit FlashStore(std::filesystem::path folder = {});

    // Starts a new image of this kind; an image already open is discarded.
    void Open(ImageKind kind, std::vector<uint8_t> header);
    bool IsOpen() const { return open_.has_value(); }
    std::optional<ImageKind> OpenKind() const;
    uint64_t OpenSize() const;
    // Writes at `address`: it may rewrite earlier bytes (a retransmitted block) or append
    // at the current end; an address behind the end is a gap and is refused.
    WriteResult Write(uint64_t address, const uint8_t* data, size_t count);
    // The bytes written so far into the open image (for check values and markers).
    const std::vector<uint8_t>* OpenData() const;
    // Finishes the open image: stores it, records size and hash. Returns the kind closed.
    std::optional<ImageKind> Close();
    // Keeps what was written of an image that was cut off (device unplugged mid-write).
    void Abandon();

    const std::map<ImageKind, FlashImage>& images() const { return images_; }
    // Number of images opened so far (1 for the first), for faults that count images.
    uint32_t OpenCount() const { return openCount_; }
    const std::filesystem::path& folder() const { return folder_; }
    // Path of an image's file in the folder.
    std::filesystem::path FileOf(ImageKind kind) const;

    // Largest image the device accepts.
    static constexpr uint64_t kMaxImageBytes = 1ull << 30;

private:
    struct OpenImage {
        ImageKind kind;
        std::vector<uint8_t> header;
        std::vector<uint8_t> data;
    };
    std::filesystem::path folder_;
    std::optional<OpenImage> open_;
    std::map<ImageKind, FlashImage> images_;
    uint32_t openCount_ = 0;

    void Store(bool complete);
};

}  // namespace flintcast::sim
