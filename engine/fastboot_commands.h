#pragma once
// The fastboot commands the worker sends, their write time-outs, the per-image rules (flash
// command names, chunk sizes and limits, failure texts) and the reading of the replies. Pure
// functions over bytes: the stage around them does the talking.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/image_set.h"

namespace flintcast::engine {

// The images in the order the stage writes them.
enum class FastbootImage { Recovery, Boot, System, Userdata, Splash };
inline constexpr FastbootImage kFastbootImageOrder[] = {FastbootImage::Recovery, FastbootImage::Boot,
                                                        FastbootImage::System, FastbootImage::Userdata,
                                                        FastbootImage::Splash};

struct FastbootImageRule {
    std::string_view partition;          // "boot": the name in the flash commands and the lines
    ImageSlot slot;                      // its staged file
    uint32_t flashTimeoutMs;             // write time-out of "flash:NAME"
    uint64_t chunkSize;                  // bytes per "mutilflash" chunk
    int maxChunks;
    std::string_view flashFailure;       // "BootImageWriteFinishedCmd failure"
    std::string_view chunkFlashFailure;  // "Boot Image Write Finished Cmd failure"
};
const FastbootImageRule& RuleFor(FastbootImage image);

inline constexpr uint32_t kDownloadCommandTimeoutMs = 500;
inline constexpr uint32_t kChunkFlashTimeoutMs = 80000;
inline constexpr uint32_t kContinueTimeoutMs = 60000;
inline constexpr uint32_t kBlockWriteTimeoutMs = 120000;
inline constexpr uint32_t kHandshakeReadTimeoutMs = 512;
inline constexpr uint32_t kOkayReadTimeoutMs = 60000;
inline constexpr size_t kBlockBytes = 4096;
// The 8-digit length of the download command describes images below 4 GiB only.
inline constexpr uint64_t kLargestDownload = 0xFFFFFFFFull;

// "download:" and the length as 8 lower-case hexadecimal digits.
std::string DownloadCommand(uint32_t length);
std::string FlashCommand(FastbootImage image);
// "mutilflash:1:NAME" for the last chunk of an image, "mutilflash:0:NAME" for the others.
std::string ChunkFlashCommand(FastbootImage image, bool last);
inline constexpr std::string_view kContinueCommand = "continue";

struct FastbootChunk {
    uint64_t offset = 0;
    uint32_t length = 0;
    bool last = false;
};
// The chunks of an image of `fileSize` bytes: consecutive pieces of the chunk size, the last
// one flagged; never a piece of length 0 after an exact multiple. An empty file is one empty
// chunk. More chunks than the limit gives nullopt (the image cannot be written whole).
std::optional<std::vector<FastbootChunk>> PlanChunks(uint64_t fileSize, const FastbootImageRule& rule);

// A device reply: its four-letter kind and the text after it.
struct FastbootReply {
    enum class Kind { Okay, Info, Fail, Data, Unknown } kind = Kind::Unknown;
    std::string text;
};
FastbootReply ParseFastbootReply(std::span<const uint8_t> bytes);
// The length a "DATA" reply accepts (8 hexadecimal digits); nullopt when malformed.
std::optional<uint32_t> DataReplyLength(const FastbootReply& reply);

// The first 16 bytes of a reply buffer as " XX" each, for the failed OKAY line.
std::string HexOfReply(std::span<const uint8_t> buffer);

}  // namespace flintcast::engine
