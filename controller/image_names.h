#pragma once
// File names of the image set in the image folder, in table order.
#include <array>
#include <string_view>

#include "engine/image_set.h"

namespace flintcast::controller {

struct ImageName {
    engine::ImageSlot slot;
    std::string_view fileName;  // lower case, matched exactly
};

using engine::ImageSlot;

inline constexpr std::array<ImageName, 28> kImageNames = {{
    {ImageSlot::Partition, "partition.mbn"},
    {ImageSlot::Amss, "amss.mbn"},
    {ImageSlot::AmssHeader, "amsshd.mbn"},
    {ImageSlot::PhoneImage, "all.mbn"},
    {ImageSlot::Efs, "efs.mbn"},
    {ImageSlot::CompactEfs, "cefs.mbn"},
    {ImageSlot::AppsEfs, "cefs_apps.mbn"},
    {ImageSlot::RawAppsEfs, "nandimage"},
    {ImageSlot::Dbl, "dbl.mbn"},
    {ImageSlot::Fsbl, "fsbl.mbn"},
    {ImageSlot::Osbl, "osbl.mbn"},
    {ImageSlot::Qcsbl, "qcsbl.mbn"},
    {ImageSlot::QcsblHeader, "qcsblhd_cfgdata.mbn"},
    {ImageSlot::Oemsbl, "oemsbl.mbn"},
    {ImageSlot::OemsblHeader, "oemsblhd.mbn"},
    {ImageSlot::Dsp1, "dsp1.mbn"},
    {ImageSlot::Dsp2, "dsp2.mbn"},
    {ImageSlot::Cfgdata, "cfgdata.mbn"},
    {ImageSlot::AppsBootHeader, "appsboothd.mbn"},
    {ImageSlot::AppsBoot, "appsboot.mbn"},
    {ImageSlot::AppsHeader, "appshd.mbn"},
    {ImageSlot::Apps, "apps.mbn"},
    {ImageSlot::FastbootBoot, "boot.img"},
    {ImageSlot::FastbootSystem, "system.img"},
    {ImageSlot::FastbootRecovery, "recovery.img"},
    {ImageSlot::FastbootUserdata, "userdata.img"},
    {ImageSlot::FastbootSplash, "splash.bin"},
    {ImageSlot::NvBackup, "nv.bak"},
}};

// The table's name of a slot ("" for the programmer and the PC-suite image).
inline std::string_view FileNameOf(engine::ImageSlot slot) {
    if (slot == ImageSlot::AtBackup) return "at.bak";
    for (const ImageName& name : kImageNames) {
        if (name.slot == slot) return name.fileName;
    }
    return {};
}

}  // namespace flintcast::controller
