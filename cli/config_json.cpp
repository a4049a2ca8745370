#include "cli/config_json.h"

namespace flintcast::cli {

using nlohmann::ordered_json;

ordered_json ConfigToJson(const config::ProjectConfig& c) {
    ordered_json j;
    j["Caption"] = c.caption;
    j["Version"] = c.version;
    j["Project"] = c.projectCode;
    j["projectType"] = c.projectType;
    j["phoneProject"] = c.phoneProject;
    j["Platform"] = c.platform;
    j["platformNumber"] = c.platformNumber;
    j["Name"] = c.name;
    j["Language"] = c.language == config::Language::Japanese ? "Japanese" : "English";
    j["LTEType"] = c.lteType;
    j["Type"] = c.type;
    j["networkType"] = c.networkType;
    j["versionMarker"] = c.versionMarker;
    j["bCheckMainboardType"] = c.bCheckMainboardType;
    j["bCheckProjectCode"] = c.bCheckProjectCode;
    j["ExecuteModemkick"] = c.executeModemkick;
    j["IsVarnel"] = c.isVarnel;
    j["Packet"] = c.packet;
    j["FlashType"] = c.flashType;
    j["FlashID"] = c.flashID;
    j["FlashSize"] = c.flashSize;
    j["RTRECFG"] = c.rtrecfg;
    j["memoryType"] = {
        {"bCheckDataCardMemory", c.bCheckDataCardMemory},
        {"bCheckRouterMemory", c.bCheckRouterMemory},
        {"memoryCheck", c.memoryCheck},
        {"RAMSize", c.ramSize},
        {"FlashSize", c.memoryFlashSize},
        {"SupportFlashID", c.supportFlashID},
    };
    j["customAbout"] = {
        {"Description", c.aboutDescription},
        {"Copyright", c.aboutCopyright},
        {"Version", c.aboutVersion},
    };
    j["BlockSize"] = c.blockSize;
    j["bFastSpeedDownload"] = c.bFastSpeedDownload;
    j["UIT_NewWays"] = c.uitNewWays;
    j["ESN"] = c.esn;

    j["bBootloader"] = c.bBootloader;
    j["bdbl"] = c.bdbl;
    j["bfsbl"] = c.bfsbl;
    j["bosbl"] = c.bosbl;
    j["bAMSSFile"] = c.bAMSSFile;
    j["bPhoneImage"] = c.bPhoneImage;
    j["bAppsBootloader"] = c.bAppsBootloader;
    j["bAppsImageAndBootloader"] = c.bAppsImageAndBootloader;
    j["bDSP"] = c.bDSP;
    j["bCfgdata"] = c.bCfgdata;
    j["bEFS"] = c.bEFS;
    j["bRawAppsEFS"] = c.bRawAppsEFS;
    j["bPartOfEFS"] = c.bPartOfEFS;
    j["bBackup"] = c.bBackup;
    j["bRestore"] = c.bRestore;
    j["bBackupUserData"] = c.bBackupUserData;
    j["bBackupARM11Files"] = c.bBackupARM11Files;
    j["bDISK"] = c.bDISK;
    j["bCDROM"] = c.bCDROM;
    j["bResImage"] = c.bResImage;
    j["pcSuite"] = c.pcSuite;
    j["bFastbootSystemImage"] = c.bFastbootSystemImage;
    j["bFastbootUserdataImage"] = c.bFastbootUserdataImage;
    j["bFastbootBootImage"] = c.bFastbootBootImage;
    j["bFastbootRecoveryImage"] = c.bFastbootRecoveryImage;
    j["bFastbootSplashImage"] = c.bFastbootSplashImage;
    j["bFastbootSystemImageMutil"] = c.bFastbootSystemImageMutil;
    j["bFastbootUserdataImageMutil"] = c.bFastbootUserdataImageMutil;
    j["bFastbootBootImageMutil"] = c.bFastbootBootImageMutil;
    j["bFastbootRecoveryImageMutil"] = c.bFastbootRecoveryImageMutil;
    j["bFastbootSplashImageMutil"] = c.bFastbootSplashImageMutil;
    j["FastBootSystemImageFilePath"] = c.fastBootSystemImageFilePath;
    j["fastbootOnly"] = c.fastbootOnly;

    j["simLock"] = c.simLock;
    j["simLockMode"] = c.simLockMode;
    j["bSimLock"] = c.simLockString;

    j["removeFiles"] = c.removeFiles;
    j["removeDirs"] = c.removeDirs;
    j["createDirs"] = c.createDirs;
    j["addFiles"] = c.addFiles;
    j["userDataFiles"] = c.userDataFiles;
    j["userDataDirs"] = c.userDataDirs;
    j["ARM11F0"] = c.arm11File;
    j["nvCommandList"] = c.nvCommandList;
    j["startAtList"] = c.startAtList;
    j["endAtList"] = c.endAtList;
    return j;
}

ordered_json SecondPackageToJson(const config::SecondPackage& second) {
    return {{"FlashType", second.flashType}, {"Name", second.name}, {"Version", second.version}};
}

ordered_json MessagesToJson(const std::vector<config::Message>& messages) {
    ordered_json list = ordered_json::array();
    for (const auto& m : messages) {
        list.push_back({
            {"caption", m.caption},
            {"text", m.text},
            {"buttons", m.buttons == config::MessageButtons::OkCancel ? "OK, Cancel" : "OK"},
            {"icon", m.icon == config::MessageIcon::Warning ? "warning" : "none"},
        });
    }
    return list;
}

}  // namespace flintcast::cli
