#include "config/read_config.h"

#include "config/config_texts.h"
#include "config/derived_values.h"
#include "config/project_table.h"
#include "config/project_traits.h"

#include <fmt/format.h>

#include <string>
#include <string_view>

namespace flintcast::config {
namespace {

using platform::IniFile;

constexpr std::string_view kProject = "Project";
constexpr std::string_view kMemoryType = "MemoryType";
constexpr std::string_view kAbout = "Custom_About_Interface";
constexpr std::string_view kGeneral = "General Option";
constexpr std::string_view kBackupAt = "BackupRestore_AT";
constexpr std::string_view kItems = "DownloadItems";
constexpr int32_t kDefaultBlockSize = 1024;

class Reader {
public:
    Reader(const IniFile& ini, ProjectConfig& config, MessageSink& messages)
        : ini_(ini), c_(config), messages_(messages) {}

    bool run() {
        readProject();
        if (!readPlatform()) return false;
        readNamesAndNetwork();
        if (!readCheckSwitches()) return false;
        c_.executeModemkick = isOne(kProject, "ExecuteModemkick");
        c_.version = ini_.readString(kProject, "Version", "");
        if (!checkVersion()) return false;
        readOptions();
        if (!readFileSystemItems()) return false;
        readImageItems();
        if (!checkConsistency()) return false;
        if (!readSimLock()) return false;
        if (!readCommandLists()) return false;
        c_.fastbootOnly = IsFastbootOnly(c_);
        return true;
    }

private:
    bool isOne(std::string_view section, std::string_view key) const {
        return ini_.readInteger(section, key, 0) == 1;
    }
    bool notZero(std::string_view section, std::string_view key, int32_t fallback = 0) const {
        return ini_.readInteger(section, key, fallback) != 0;
    }

    bool fail(std::string_view text, bool clearItems = true, MessageButtons buttons = MessageButtons::Ok,
              MessageIcon icon = MessageIcon::None) {
        if (clearItems) ClearDownloadItems(c_);
        messages_.show(Message{std::string(texts::kWarning), std::string(text), buttons, icon});
        return false;
    }

    void readProject() {
        c_.caption = ini_.readString(kProject, "Caption", "Flintcast_QCOMM");
        c_.version = ini_.readString(kProject, "Version", "");
        c_.projectCode = ini_.readString(kProject, "Project", "");
        c_.projectType = ProjectTypeFromCode(c_.projectCode);
        c_.phoneProject = IsPhoneProject(c_.projectType);
    }

    bool readPlatform() {
        c_.platform = ini_.readString(kProject, "Platform", "UNKNOWN");
        const auto number = PlatformNumberFromName(c_.platform);
        if (!number) return fail(texts::kPlatformWrong);
        c_.platformNumber = *number;
        return true;
    }

    void readNamesAndNetwork() {
        c_.name = ini_.readString(kProject, "Name", "UNKNOWN");
        c_.language = LanguageFromText(ini_.readString(kProject, "Language", "English"));
        c_.aboutDescription = ini_.readString(kAbout, "Description", "");
        c_.aboutCopyright = ini_.readString(kAbout, "Copyright", "");
        c_.aboutVersion = ini_.readString(kAbout, "Version", "");
        c_.lteType = ini_.readString(kProject, "LTEType", "");
        c_.type = ini_.readString(kProject, "Type", "");
        c_.networkType = NetworkTypeFromText(c_.type);
    }

    bool readCheckSwitches() {
        c_.bCheckMainboardType = isOne(kProject, "bCheckMainboardType");
        c_.bCheckProjectCode = isOne(kProject, "bCheckProjectCode");
        c_.bCheckDataCardMemory = isOne(kMemoryType, "bCheckDataCardMemory");
        c_.bCheckRouterMemory = isOne(kMemoryType, "bCheckRouterMemory");
        c_.memoryCheck = c_.bCheckDataCardMemory || c_.bCheckRouterMemory;
        if (c_.bCheckDataCardMemory && c_.bCheckRouterMemory) return fail(texts::kUnknownTerminal);
        if (c_.memoryCheck) {
            c_.ramSize = ini_.readString(kMemoryType, "RAMSize", "");
            c_.memoryFlashSize = ini_.readString(kMemoryType, "FlashSize", "");
            if (c_.ramSize.empty() && c_.memoryFlashSize.empty()) return fail(texts::kMemoryTypeWrong);
            c_.supportFlashID = ini_.readString(kMemoryType, "SupportFlashID", "");
        }
        return true;
    }

    bool checkVersion() {
        if (!RequiresVersion(c_)) return true;
        // The image items stay as read: the window still works, only the version is missing.
        if (c_.version.empty()) return fail(texts::kNoSoftwareVersion, false);
        if (HasVersionMarker(c_.projectType)) c_.versionMarker = VersionMarkerOf(c_.version);
        return true;
    }

    void readOptions() {
        if (HasVarnelVariant(c_.projectType)) c_.isVarnel = isOne(kProject, "IsVarnel");
        c_.packet = ini_.readInteger(kProject, "Packet", 1);
        c_.flashType = ini_.readInteger(kProject, "FlashType", 0);
        c_.flashID = ini_.readString(kProject, "FlashID", "");
        c_.flashSize = ini_.readString(kProject, "FlashSize", "");
        // The worker divides by the block size: a size of zero or less would stop
        // every transfer, so it counts as unparsable and keeps the default.
        c_.blockSize = ini_.readInteger(kGeneral, "BlockSize", kDefaultBlockSize);
        if (c_.blockSize <= 0) c_.blockSize = kDefaultBlockSize;
        c_.bFastSpeedDownload = notZero(kGeneral, "bFastSpeedDownload");
        c_.uitNewWays = notZero(kBackupAt, "UIT_NewWays");
        c_.rtrecfg = notZero(kProject, "RTRECFG");
    }

    bool readFileSystemItems() {
        c_.bEFS = notZero(kItems, "bEFS");
        c_.bRawAppsEFS = notZero(kItems, "bRawAppsEFS");
        c_.bFastbootSystemImage = notZero(kItems, "bFastbootSystemImage");
        c_.bFastbootUserdataImage = notZero(kItems, "bFastbootUserdataImage");
        c_.bFastbootBootImage = notZero(kItems, "bFastbootBootImage");
        c_.bFastbootRecoveryImage = notZero(kItems, "bFastbootRecoveryImage");
        c_.bFastbootSplashImage = notZero(kItems, "bFastbootSplashImage");
        c_.bFastbootSystemImageMutil = notZero(kItems, "bFastbootSystemImageMutil");
        c_.bFastbootUserdataImageMutil = notZero(kItems, "bFastbootUserdataImageMutil");
        c_.bFastbootBootImageMutil = notZero(kItems, "bFastbootBootImageMutil");
        c_.bFastbootRecoveryImageMutil = notZero(kItems, "bFastbootRecoveryImageMutil");
        c_.bFastbootSplashImageMutil = notZero(kItems, "bFastbootSplashImageMutil");
        if (c_.bFastbootSystemImage)
            c_.fastBootSystemImageFilePath = ini_.readString(kItems, "FastBootSystemImageFilePath", "");

        c_.bPartOfEFS = notZero(kItems, "bPartOfEFS");
        if (c_.bPartOfEFS) {
            c_.removeFiles = ini_.readList("RemoveFiles", "RF", 0, 99);
            c_.removeDirs = ini_.readList("RemoveDir", "RD", 0, 99);
            c_.createDirs = ini_.readList("CreateDir", "CD", 0, 99);
            c_.addFiles = ini_.readList("AddFiles", "AF", 0, 99);
        }

        c_.bBackupUserData = notZero(kItems, "bBackupUserData");
        if (c_.bBackupUserData) {
            c_.userDataFiles = ini_.readList("UserDataFiles", "UF", 0, 999);
            c_.userDataDirs = ini_.readList("UserDataDir", "UD", 0, 999);
            // Either button ends the reading.
            if (c_.userDataFiles.empty() && c_.userDataDirs.empty())
                return fail(texts::kUserDataNotFound, true, MessageButtons::OkCancel);
        }
        return true;
    }

    void readImageItems() {
        c_.bBackupARM11Files = notZero(kItems, "bBackupARM11Files");
        c_.arm11File = ini_.readString("ARM11Files", "ARM11F0", "");
        if (c_.arm11File.empty()) c_.bBackupARM11Files = false;
        c_.esn = notZero(kBackupAt, "ESN");
        c_.bBackup = notZero(kItems, "bBackup");
        c_.bRestore = notZero(kItems, "bRestore");
        c_.bAMSSFile = notZero(kItems, "bAMSSFile");
        c_.bPhoneImage = notZero(kItems, "bPhoneImage");
        c_.bAppsBootloader = notZero(kItems, "bAppsBootloader");
        c_.bAppsImageAndBootloader = notZero(kItems, "bAppsImageAndBootloader");
        c_.bDSP = notZero(kItems, "bDSP");
        c_.bCDROM = notZero(kItems, "bCDROM");
        c_.bDISK = notZero(kItems, "bDISK");
        c_.bResImage = notZero(kItems, "bResImage");
        ApplyPcSuitePriority(c_);
        c_.bBootloader = notZero(kItems, "bBootloader");
        c_.bdbl = c_.bBootloader && notZero(kItems, "bdbl", 1);
        c_.bfsbl = c_.bBootloader && notZero(kItems, "bfsbl", 1);
        c_.bosbl = c_.bBootloader && notZero(kItems, "bosbl", 1);
        c_.bCfgdata = notZero(kItems, "bCfgdata");
    }

    bool checkConsistency() {
        if (c_.phoneProject && c_.pcSuite) return fail(texts::kPhonePcSuite);
        if (c_.bBackup != c_.bRestore) return fail(texts::kBackupRestore);
        if (c_.bEFS && c_.bPartOfEFS) return fail(texts::kEfsPartOfEfs);
        return true;
    }

    bool readSimLock() {
        c_.simLockString = ini_.readString("SIMLOCK", "bSimLock", "");
        const SimLockSetting s = ParseSimLock(c_.simLockString);
        c_.simLock = s.on;
        c_.simLockMode = s.mode;
        if (!s.valid)
            return fail(texts::kSimLockListEmpty, true, MessageButtons::Ok, MessageIcon::Warning);
        return true;
    }

    // Reads a numbered list entry by entry; an entry without `required` ends the
    // reading with `message`, keeping the entries before it.
    bool readCheckedList(std::string_view section, std::string_view required, bool upperCase,
                         std::string_view suffix, std::vector<std::string>& out, std::string_view message) {
        for (std::string entry : ini_.readList(section, upperCase ? "NV" : "AT", 1, 1000)) {
            if (upperCase)
                for (char& ch : entry)
                    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
            if (entry.find(required) == std::string::npos) return fail(message);
            out.push_back(entry + std::string(suffix));
        }
        return true;
    }

    bool readCommandLists() {
        return readCheckedList("NV_Default", ":", true, "", c_.nvCommandList, texts::kDefaultNvWrong) &&
               readCheckedList("NV_Custom", ":", true, "", c_.nvCommandList, texts::kCustomNvWrong) &&
               readCheckedList("Start_AT", "AT", false, "\r\n\r\n", c_.startAtList, texts::kStartAtWrong) &&
               readCheckedList("End_AT", "AT", false, "\r\n\r\n", c_.endAtList, texts::kEndAtWrong);
    }

    const IniFile& ini_;
    ProjectConfig& c_;
    MessageSink& messages_;
};

}  // namespace

void ClearDownloadItems(ProjectConfig& c) {
    c.bEFS = false;
    c.bRawAppsEFS = false;
    c.bPartOfEFS = false;
    c.bAMSSFile = false;
    c.bAppsBootloader = false;
    c.bAppsImageAndBootloader = false;
    // The three PC-suite switches go with the flag: the image writer and the final
    // USB switch look at the switches themselves, so leaving one on would still
    // write the PC-suite image the error was meant to stop.
    c.pcSuite = false;
    c.bDISK = false;
    c.bCDROM = false;
    c.bResImage = false;
    c.bCfgdata = false;
    c.simLock = false;
    c.bFastbootSystemImage = false;
    c.bFastbootUserdataImage = false;
    c.bFastbootBootImage = false;
    c.bFastbootRecoveryImage = false;
    c.bFastbootSplashImage = false;
    c.bFastbootSystemImageMutil = false;
    c.bFastbootUserdataImageMutil = false;
    c.bFastbootBootImageMutil = false;
    c.bFastbootRecoveryImageMutil = false;
    c.bFastbootSplashImageMutil = false;
}

bool ReadConfig(const platform::IniFile& ini, ProjectConfig& config, MessageSink& messages) {
    config = ProjectConfig{};
    return Reader(ini, config, messages).run();
}

bool ReadConfig(const std::filesystem::path& path, ProjectConfig& config, MessageSink& messages) {
    std::string error;
    auto ini = platform::IniFile::Load(path, &error);
    if (!ini) {
        config = ProjectConfig{};
        messages.show(Message{std::string(texts::kWarning),
                              fmt::format("{}{}", texts::kConfigUnreadable, error)});
        return false;
    }
    return ReadConfig(*ini, config, messages);
}

}  // namespace flintcast::config
