#pragma once
// The image kinds the streaming stage writes and their fixed per-kind constants:
// block size rule, pause after opening, status texts, check-value slot.
#include <cstdint>
#include <string_view>

#include "config/project_traits.h"

namespace flintcast::engine {

enum class ImageKind {
    Amss,
    PhoneImage,
    AppsImage,
    AppsBootloader,
    Efs,
    AppEfs,
    ModemEfs,
    RawAppsEfs,
    Companion,
    Cfgdata,
    Fsbl,
    Osbl,
    Dbl,
    QcsblHeader,
    Qcsbl,
    Oemsbl,
    Dsp1,
    Dsp2,
};

// How a kind's block size is chosen for the normal (non-fast) transfer.
enum class BlockRule {
    Configured,  // "BlockSize", or 512 on the small-block projects
    Fixed1024,
};

// How the block writer reports after opening and on a failed block.
enum class MessageForm {
    Fixed,    // the texts below
    Counted,  // "<file> downloading, N blocks" and "<file>, re-sending block i of N"
};

// Which family of file-error texts a kind uses ("BIN", "DSP1", "DSP2").
enum class FileLabel { Bin, Dsp1, Dsp2 };

struct ImageKindInfo {
    BlockRule blockRule;
    uint32_t pauseAfterOpenMs;
    std::string_view startText;
    MessageForm form;
    std::string_view openedText;       // empty: nothing posted after opening
    std::string_view failedBlockText;  // used with MessageForm::Fixed
    std::string_view fastText;         // posted before the fast transfer of the kind
    FileLabel fileLabel;
};

const ImageKindInfo& InfoFor(ImageKind kind);

// Projects whose flash programmer takes 512-byte stream writes whatever "BlockSize" says.
using config::UsesSmallBlocks;
inline constexpr uint32_t kSmallBlockSize = 512;
inline constexpr uint32_t kFixedBlockSize = 1024;

// Block size of the normal transfer of a kind.
uint32_t BlockSizeFor(ImageKind kind, int32_t project, uint32_t configuredBlockSize);

// Counted messages show block counts in units of 64 blocks, rounded up.
inline constexpr uint32_t UnitsOf64(uint32_t blocks) { return (blocks + 63) / 64; }

// The check-value slot (0..16) a kind is sent with in the fast transfer.
int CheckValueSlot(ImageKind kind, int32_t project);
inline constexpr int kCheckValueSlots = 17;

}  // namespace flintcast::engine
