#include "engine/image_kinds.h"

#include <array>

namespace flintcast::engine {
namespace {

using enum BlockRule;
using enum MessageForm;
using enum FileLabel;

// Indexed by ImageKind; keep in enum order.
constexpr std::array<ImageKindInfo, 18> kInfo{{
    /* Amss */ {Configured, 500, "Downloading D003...", Fixed, "Downloading D004......", "Downloading D005......",
                "Downloading AMSS Modem...", Bin},
    /* PhoneImage */ {Fixed1024, 500, "Downloading D010...", Fixed, "Downloading D011......",
                      "Downloading D012......", "Downloading phone image...", Bin},
    /* AppsImage */ {Fixed1024, 500, "Downloading Apps Image...", Fixed, "Downloading D020......",
                     "Downloading D021......", "Downloading Apps Image...", Bin},
    /* AppsBootloader */ {Fixed1024, 500, "Downloading Apps bootloader...", Fixed, "Downloading D022......",
                          "Downloading D023......", "Downloading Apps bootloader...", Bin},
    /* Efs */ {Configured, 500, "Downloading D006......", Fixed, "Downloading D007......",
               "Re-Downloading D008......", "Downloading EFS...", Bin},
    /* AppEfs */ {Fixed1024, 500, "Downloading Application EFS...", Counted, "", "",
                  "Downloading Application EFS...", Bin},
    /* ModemEfs */ {Fixed1024, 500, "Downloading Application Modem EFS...", Counted, "", "",
                    "Downloading Application Modem EFS...", Bin},
    /* RawAppsEfs */ {Fixed1024, 500, "Downloading RawApps EFS...", Counted, "", "", "Downloading RawApps EFS...",
                      Bin},
    /* Companion */ {Configured, 2, "Downloading D009......", Fixed, "Downloading D010......",
                     "Downloading D011......", "Downloading FTL image...", Bin},
    /* Cfgdata */ {Fixed1024, 2, "Downloading cfgdata file", Fixed, "Downloading cfgdata file ...",
                   "Downloading cfgdata file ......", "Downloading cfgdata file", Bin},
    /* Fsbl */ {Fixed1024, 2, "Downloading fsbl file", Fixed, "Downloading fsbl file ...",
                "Downloading fsbl file ......", "Downloading Fsbl header...", Bin},
    /* Osbl */ {Fixed1024, 2, "Downloading osbl file", Fixed, "Downloading osbl file ...",
                "Downloading osbl file ......", "Downloading Osbl command...", Bin},
    /* Dbl */ {Fixed1024, 2, "Downloading dbl file", Fixed, "Downloading dbl file ...", "Downloading dbl file ......",
               "Downloading Dbl header...", Bin},
    /* QcsblHeader */ {Fixed1024, 2, "Downloading D012......", Fixed, "Downloading D013......",
                       "Downloading D014......", "Downloading Qc header...", Bin},
    /* Qcsbl */ {Fixed1024, 2, "Downloading D015......", Fixed, "Downloading D016......", "Re-Sending 007......",
                 "Downloading Qc file...", Bin},
    /* Oemsbl */ {Fixed1024, 2, "Downloading D017......", Fixed, "Downloading D018......", "Re-Sending 010......",
                  "Downloading Oem file...", Bin},
    /* Dsp1 */ {Fixed1024, 2, "Downloading DSP1 header...", Fixed, "", "Re-Downloading D005......",
                "Downloading DSP1 file...", Dsp1},
    /* Dsp2 */ {Fixed1024, 2, "Downloading DSP2 header...", Fixed, "", "Re-Downloading D005......",
                "Downloading DSP2 file...", Dsp2},
}};

}  // namespace

const ImageKindInfo& InfoFor(ImageKind kind) { return kInfo.at(static_cast<size_t>(kind)); }


uint32_t BlockSizeFor(ImageKind kind, int32_t project, uint32_t configuredBlockSize) {
    if (InfoFor(kind).blockRule == BlockRule::Fixed1024) return kFixedBlockSize;
    return UsesSmallBlocks(project) ? kSmallBlockSize : configuredBlockSize;
}

int CheckValueSlot(ImageKind kind, int32_t project) {
    switch (kind) {
        case ImageKind::Fsbl: return 0;
        case ImageKind::Dbl: return 1;
        case ImageKind::Osbl: return 2;
        case ImageKind::Qcsbl: return 3;
        case ImageKind::QcsblHeader: return 4;
        case ImageKind::Oemsbl: return 5;
        case ImageKind::Cfgdata: return 6;
        case ImageKind::Amss: return 7;
        case ImageKind::PhoneImage: return 8;
        case ImageKind::Dsp1: return 9;
        case ImageKind::Dsp2: return 10;
        case ImageKind::AppsImage: return 11;
        case ImageKind::AppsBootloader: return 12;
        // The applications EFS has its own slot only where a second (modem) EFS image exists.
        case ImageKind::AppEfs: return config::UsesCompactEfsPair(project) ? 13 : 15;
        case ImageKind::RawAppsEfs: return 14;
        case ImageKind::Efs:
        case ImageKind::ModemEfs: return 15;
        case ImageKind::Companion: return 16;
    }
    return 15;
}

}  // namespace flintcast::engine
