#include "controller/staging_table.h"

#include <array>

#include "controller/image_rules.h"
#include "platform/native_names.h"

namespace flintcast::controller {
namespace {

using Config = config::ProjectConfig;
using enum SecondPackage;

const std::array kItems = std::to_array<StagedItem>({
    {"HEX", "NPRG6260File", "NPRG6260.hex", [](const Config&) { return true; }},
    {"MBN", "PartitionFile", "partition.mbn", [](const Config& c) { return HasPartitionTable(c.projectType); }},
    {"MBN", "AmssFile", "amss.mbn", [](const Config& c) { return c.bAMSSFile; }},
    {"MBN", "AmsshdFile", "amsshd.mbn", [](const Config& c) { return c.bAMSSFile && !UsesBootStageImages(c.projectType); }},
    {"MBN", "AllFile", "all.mbn", [](const Config& c) { return c.bPhoneImage; }},
    {"MBN", "EfsFile", "efs.mbn",
     [](const Config& c) { return c.bEFS && !UsesCompactEfsPair(c.projectType) && !UsesAppsEfsOnly(c.projectType); }},
    {"MBN", "CEfsFile", "cefs.mbn", [](const Config& c) { return c.bEFS && UsesCompactEfsPair(c.projectType); }},
    {"MBN", "AppEfsFile", "cefs_apps.mbn",
     [](const Config& c) { return c.bEFS && (UsesCompactEfsPair(c.projectType) || UsesAppsEfsOnly(c.projectType)); }},
    {"MBN", "NandimageFile", "nandimage", [](const Config& c) { return c.bRawAppsEFS; }, Skipped},
    {"MBN", "DblFile", "dbl.mbn", [](const Config& c) { return c.bBootloader && UsesBootStageImages(c.projectType); }, Skipped},
    {"MBN", "FsblFile", "fsbl.mbn", [](const Config& c) { return c.bBootloader && UsesBootStageImages(c.projectType); }, Skipped},
    {"MBN", "OsblFile", "osbl.mbn", [](const Config& c) { return c.bBootloader && UsesBootStageImages(c.projectType); }, Skipped},
    {"MBN", "QcsblFile", "qcsbl.mbn", [](const Config& c) { return c.bBootloader && !UsesBootStageImages(c.projectType); }},
    {"MBN", "Qcsblhd_cfgdataFile", "qcsblhd_cfgdata.mbn",
     [](const Config& c) { return c.bBootloader && !UsesBootStageImages(c.projectType); }},
    {"MBN", "OemsblFile", "oemsbl.mbn", [](const Config& c) { return c.bBootloader && !UsesBootStageImages(c.projectType); }},
    {"MBN", "OemsblhdFile", "oemsblhd.mbn", [](const Config& c) { return c.bBootloader && !UsesBootStageImages(c.projectType); }},
    {"MBN", "DSP1File", "dsp1.mbn", [](const Config& c) { return c.bDSP; }},
    {"MBN", "DSP2File", "dsp2.mbn", [](const Config& c) { return c.bDSP; }},
    {"MBN", "CfgdataFile", "cfgdata.mbn", [](const Config& c) { return c.bCfgdata; }},
    {"MBN", "AppsBootloaderHeaderFile", "appsboothd.mbn", [](const Config& c) { return c.bAppsBootloader || c.bAppsImageAndBootloader; }},
    {"MBN", "AppsBootloaderFile", "appsboot.mbn", [](const Config& c) { return c.bAppsBootloader || c.bAppsImageAndBootloader; }},
    {"MBN", "AppsImageHeaderFile", "appshd.mbn", [](const Config& c) { return c.bAppsImageAndBootloader; }, Unsuffixed},
    {"MBN", "AppsImageFile", "apps.mbn", [](const Config& c) { return c.bAppsImageAndBootloader; }},
    {"ISO", "CDROMFile", "CDROM.iso", [](const Config& c) { return c.bCDROM; }},
    {"IMA", "FAT16File", "FAT16.IMA", [](const Config& c) { return c.bDISK; }},
    {"MBN", "ResimageFile", "resimage", [](const Config& c) { return c.bResImage; }},
    {"IMG", "BootimageFile", "boot.img", [](const Config& c) { return c.bFastbootBootImage; }, Unsuffixed},
    // Replaced by a copy of FastBootSystemImageFilePath when that is set.
    {"IMG", "SystemimageFile", "system.img", [](const Config& c) { return c.bFastbootSystemImage; }, Unsuffixed},
    {"IMG", "RecoveryimageFile", "recovery.img", [](const Config& c) { return c.bFastbootRecoveryImage; }, Unsuffixed},
    {"IMG", "UserdataimageFile", "userdata.img", [](const Config& c) { return c.bFastbootUserdataImage; }, Unsuffixed},
    {"BIN", "SplashimageFile", "splash.bin", [](const Config& c) { return c.bFastbootSplashImage; }, Unsuffixed},
    // Tools staged with the images. The ADB access libraries have no place on this platform
    // (USB access goes through libusb); the adb program is staged when the package carries
    // one, else the worker takes the system's.
    {"DLL", "RavelinFile", FLINTCAST_NATIVE_NAME("libravelin.so", "Ravelin.dll"), [](const Config&) { return true; }},
    {"EXE", "GearswapFile", FLINTCAST_NATIVE_NAME("gearswap", "Gearswap.exe"), [](const Config&) { return true; }, Suffixed, true},
    {"EXE", "ModemkickFile", FLINTCAST_NATIVE_NAME("modemkick", "Modemkick.exe"), [](const Config& c) { return c.executeModemkick; }, Skipped, true},
    {"EXE", "DrivsetFile", FLINTCAST_NATIVE_NAME("drivset", "drivset.exe"), [](const Config& c) { return StagesDriverTools(c.projectType); }, Unsuffixed, true},
    {"EXE", "Envsweep32File", FLINTCAST_NATIVE_NAME("envsweep32", "envsweep32.exe"), [](const Config& c) { return StagesDriverTools(c.projectType); }, Unsuffixed, true},
    {"EXE", "Envsweep64File", FLINTCAST_NATIVE_NAME("envsweep64", "envsweep64.exe"), [](const Config& c) { return StagesDriverTools(c.projectType); }, Unsuffixed, true},
    {"EXE", "ADB", FLINTCAST_NATIVE_NAME("adb", "adb.exe"), [](const Config& c) { return c.bBackupARM11Files; }, Unsuffixed, true, true},
});

}  // namespace

std::span<const StagedItem> StagedItems() { return kItems; }

}  // namespace flintcast::controller
