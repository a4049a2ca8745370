#pragma once
// The in-memory configuration read from Config.ini. Field names follow the
// configuration keys; the project type number is what every project-specific rule
// of the tool compares. Copied into every worker before it starts.
#include <cstdint>
#include <string>
#include <vector>

namespace flintcast::config {

inline constexpr int32_t kUnknownProject = -1;
inline constexpr int32_t kUnknownPlatform = 255;

enum class Language { English, Japanese };

struct ProjectConfig {
    // [Project]
    std::string caption = "Flintcast_QCOMM";
    std::string version;
    std::string projectCode;
    int32_t projectType = kUnknownProject;
    bool phoneProject = false;
    std::string platform = "UNKNOWN";
    int32_t platformNumber = kUnknownPlatform;
    std::string name = "UNKNOWN";  // mainboard name of the package
    Language language = Language::English;
    std::string lteType;
    std::string type;
    int32_t networkType = 0;  // 3 LTE, 2 EVDO, 1 CDMA2000, 0 anything else
    bool bCheckMainboardType = false;
    bool bCheckProjectCode = false;
    bool executeModemkick = false;
    bool isVarnel = false;
    int32_t packet = 1;
    int32_t flashType = 0;
    std::string flashID;
    std::string flashSize;
    bool rtrecfg = false;
    // Project 3 only: 1 "SWK0018" (JDA), 2 "SWKAX02" (JDB), 3 "SWKII02" (JDG), 0 none.
    int32_t versionMarker = 0;

    // [MemoryType]
    bool bCheckDataCardMemory = false;
    bool bCheckRouterMemory = false;
    bool memoryCheck = false;  // either memory check is on
    std::string ramSize;
    std::string memoryFlashSize;
    std::string supportFlashID;

    // [Custom_About_Interface]
    std::string aboutDescription;
    std::string aboutCopyright;
    std::string aboutVersion;

    // [General Option]
    int32_t blockSize = 1024;
    bool bFastSpeedDownload = false;

    // [BackupRestore_AT]
    bool uitNewWays = false;
    bool esn = false;

    // [DownloadItems]
    bool bBootloader = false;
    bool bdbl = false;
    bool bfsbl = false;
    bool bosbl = false;
    bool bAMSSFile = false;
    bool bPhoneImage = false;
    bool bAppsBootloader = false;
    bool bAppsImageAndBootloader = false;
    bool bDSP = false;
    bool bCfgdata = false;
    bool bEFS = false;
    bool bRawAppsEFS = false;
    bool bPartOfEFS = false;
    bool bBackup = false;
    bool bRestore = false;
    bool bBackupUserData = false;
    bool bBackupARM11Files = false;
    bool bDISK = false;
    bool bCDROM = false;
    bool bResImage = false;
    bool pcSuite = false;  // one of bDISK, bCDROM, bResImage is on
    bool bFastbootSystemImage = false;
    bool bFastbootUserdataImage = false;
    bool bFastbootBootImage = false;
    bool bFastbootRecoveryImage = false;
    bool bFastbootSplashImage = false;
    bool bFastbootSystemImageMutil = false;
    bool bFastbootUserdataImageMutil = false;
    bool bFastbootBootImageMutil = false;
    bool bFastbootRecoveryImageMutil = false;
    bool bFastbootSplashImageMutil = false;
    std::string fastBootSystemImageFilePath;
    bool fastbootOnly = false;

    // Device file-system operations (bPartOfEFS) and user-data backup lists.
    std::vector<std::string> removeFiles;    // [RemoveFiles] RF0..RF99
    std::vector<std::string> removeDirs;     // [RemoveDir] RD0..RD99
    std::vector<std::string> createDirs;     // [CreateDir] CD0..CD99
    std::vector<std::string> addFiles;       // [AddFiles] AF0..AF99
    std::vector<std::string> userDataFiles;  // [UserDataFiles] UF0..UF999
    std::vector<std::string> userDataDirs;   // [UserDataDir] UD0..UD999
    std::string arm11File;                   // [ARM11Files] ARM11F0

    // [SIMLOCK]
    bool simLock = false;
    int32_t simLockMode = 0;
    std::string simLockString;

    // "id:value" items of [NV_Default] then [NV_Custom], upper case.
    std::vector<std::string> nvCommandList;
    // AT commands as the worker sends them, each ending in "\r\n\r\n".
    std::vector<std::string> startAtList;
    std::vector<std::string> endAtList;

    bool anyFastbootImage() const {
        return bFastbootSystemImage || bFastbootUserdataImage || bFastbootBootImage ||
               bFastbootRecoveryImage || bFastbootSplashImage;
    }
};

}  // namespace flintcast::config
