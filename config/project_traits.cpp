#include "config/project_traits.h"

#include <array>

#include "config/project_config.h"

namespace flintcast::config {
namespace {

enum Trait : uint64_t {
    kPhone = uint64_t{1} << 0,
    kCdmaOnly = uint64_t{1} << 1,
    kEvdo = uint64_t{1} << 2,
    kEsnFirst = uint64_t{1} << 3,
    kSecondImei = uint64_t{1} << 4,
    kCllenAndZrreq = uint64_t{1} << 5,
    kGmi = uint64_t{1} << 6,
    kNoSimLockRestore = uint64_t{1} << 7,
    kIdentityNvWithRtrecfg = uint64_t{1} << 8,
    kUitInNv = uint64_t{1} << 9,
    kVarnelVariant = uint64_t{1} << 10,
    kVersionMarker = uint64_t{1} << 11,
    kBlockingDiagReads = uint64_t{1} << 12,
    kPowerOffAtEnd = uint64_t{1} << 13,
    kShortReopenWait = uint64_t{1} << 14,
    kSlowModemPort = uint64_t{1} << 15,
    kLongReopenWait = uint64_t{1} << 16,
    kKeepsPortsInDownload = uint64_t{1} << 17,
    kResetAfterDownload = uint64_t{1} << 18,
    kResetAfterFullDownload = uint64_t{1} << 19,
    kMakerName = uint64_t{1} << 20,
    kCdma2000DiskSwitch = uint64_t{1} << 21,
    kKeepsDiagServiceOpen = uint64_t{1} << 22,
    kRestoresAfterAmssOnly = uint64_t{1} << 23,
    kAlwaysResetsBeforeRestore = uint64_t{1} << 24,
    kServiceCodePreCommands = uint64_t{1} << 25,
    kLargeWriteSize = uint64_t{1} << 26,
    kPauseBeforeHello = uint64_t{1} << 27,
    kNoPartitionTable = uint64_t{1} << 28,
    kBootStageImages = uint64_t{1} << 29,
    kFtlCompanion = uint64_t{1} << 30,
    kCompanionType20 = uint64_t{1} << 31,
    kNewPcSuiteRequest = uint64_t{1} << 32,
    kSmallBlocks = uint64_t{1} << 33,
    kCompactEfsPair = uint64_t{1} << 34,
    kAppsEfsOnly = uint64_t{1} << 35,
    kDsp = uint64_t{1} << 36,
    kDriverInstaller = uint64_t{1} << 37,
    kBrandedJapanese = uint64_t{1} << 38,
    kDeletesLogOnPass = uint64_t{1} << 39,
    kEndsOnCancel = uint64_t{1} << 40,
    kOstrel = uint64_t{1} << 41,
    kCloseAfterRun = uint64_t{1} << 42,
    kWizardStart = uint64_t{1} << 43,
    kEndsCheckWhenReady = uint64_t{1} << 44,
    kInfoVersionQuery = uint64_t{1} << 45,
    kChecksVersion = uint64_t{1} << 46,
    kChecksFlash = uint64_t{1} << 47,
    kRequiresVersion = uint64_t{1} << 48,
    kShowsVersionAtEnd = uint64_t{1} << 49,
    kJapaneseImages = uint64_t{1} << 50,
    kAboutVersionOnly = uint64_t{1} << 51,
    kSingleNoticeGuide = uint64_t{1} << 52,
};

struct ProjectRow {
    int32_t number = kUnknownProject;
    uint64_t traits = 0;
    StartDiskMode startDisk = StartDiskMode::None;
    PersonalityList personality = PersonalityList::None;
    std::string_view model{};      // the model an Ostrel variant names
    std::string_view caption{};    // caption of a branded variant's windows
    std::string_view logFolder{};  // log folder of a branded variant below the log root
    OperatorVariant operatorVariant{};
    GuideWizard wizard = GuideWizard::None;
    std::string_view wizardTitle{};  // the guide's own title
    std::string_view windowTitle{};  // the window title the variant fixes
};

constexpr std::array<ProjectRow, 49> kRows{{
    {.number = 0,
     .traits = kPowerOffAtEnd},
    {.number = 1,
     .traits = kPowerOffAtEnd},
    {.number = 2,
     .traits = kPowerOffAtEnd | kWizardStart | kChecksVersion | kRequiresVersion | kShowsVersionAtEnd
               | kJapaneseImages | kAboutVersionOnly,
     .operatorVariant = {"SWK0012", "Data Cards"},
     .wizard = GuideWizard::Guide, .wizardTitle = "JDEアップデートツール V1.1"},
    {.number = 3,
     .traits = kVersionMarker | kShortReopenWait | kPauseBeforeHello | kEndsCheckWhenReady
               | kChecksVersion | kRequiresVersion,
     .startDisk = StartDiskMode::D1,
     .personality = PersonalityList::GroupA},
    {.number = 4,
     .traits = kPowerOffAtEnd},
    {.number = 5,
     .traits = kPhone | kPowerOffAtEnd | kKeepsPortsInDownload},
    {.number = 6,
     .traits = kBlockingDiagReads | kPowerOffAtEnd | kShortReopenWait | kKeepsPortsInDownload
               | kResetAfterDownload | kDriverInstaller | kCloseAfterRun | kWizardStart | kChecksVersion
               | kRequiresVersion | kShowsVersionAtEnd | kJapaneseImages | kAboutVersionOnly,
     .operatorVariant = {"SWK0016", "mobile devices"},
     .wizard = GuideWizard::Guide, .wizardTitle = "JDDアップデートツール V1.1"},
    {.number = 7,
     .traits = kPhone | kPowerOffAtEnd | kLongReopenWait | kPauseBeforeHello | kCompactEfsPair},
    {.number = 8,
     .traits = kCllenAndZrreq | kGmi | kPowerOffAtEnd},
    {.number = 9,
     .traits = kPowerOffAtEnd},
    {.number = 10,
     .traits = kCllenAndZrreq | kGmi | kPowerOffAtEnd},
    {.number = 11,
     .traits = kPhone | kPowerOffAtEnd | kKeepsPortsInDownload},
    {.number = 12,
     .traits = kVarnelVariant | kShortReopenWait | kPauseBeforeHello,
     .startDisk = StartDiskMode::D1,
     .personality = PersonalityList::GroupA},
    {.number = 13,
     .traits = kShortReopenWait | kPauseBeforeHello,
     .startDisk = StartDiskMode::D2,
     .personality = PersonalityList::CdRomD2},
    {.number = 14,
     .traits = kPowerOffAtEnd},
    {.number = 15,
     .startDisk = StartDiskMode::D1,
     .personality = PersonalityList::GroupA},
    {.number = 16,
     .traits = kShortReopenWait | kPauseBeforeHello,
     .startDisk = StartDiskMode::D1,
     .personality = PersonalityList::GroupA},
    {.number = 17,
     .traits = kShortReopenWait | kPauseBeforeHello,
     .startDisk = StartDiskMode::D1,
     .personality = PersonalityList::GroupA},
    {.number = 18,
     .traits = kGmi | kShortReopenWait | kPauseBeforeHello,
     .startDisk = StartDiskMode::D1,
     .personality = PersonalityList::GroupA},
    {.number = 19,
     .traits = kBlockingDiagReads | kPowerOffAtEnd | kShortReopenWait | kResetAfterDownload
               | kDriverInstaller | kWizardStart,
     .wizard = GuideWizard::Guide1, .wizardTitle = "Mobile Upgrade Guide"},
    {.number = 20,
     .traits = kBlockingDiagReads | kPowerOffAtEnd | kShortReopenWait | kResetAfterFullDownload
               | kRestoresAfterAmssOnly | kDriverInstaller},
    {.number = 21,
     .traits = kShortReopenWait | kPauseBeforeHello,
     .startDisk = StartDiskMode::D1,
     .personality = PersonalityList::CdRomD3},
    {.number = 22,
     .traits = kShortReopenWait | kSlowModemPort,
     .startDisk = StartDiskMode::D1,
     .personality = PersonalityList::GroupA},
    {.number = 23,
     .traits = kShortReopenWait | kPauseBeforeHello,
     .startDisk = StartDiskMode::D2,
     .personality = PersonalityList::CdRomD2},
    {.number = 24,
     .traits = kShortReopenWait | kPauseBeforeHello,
     .startDisk = StartDiskMode::D1,
     .personality = PersonalityList::CdRomD3},
    {.number = 25,
     .traits = kShortReopenWait | kPauseBeforeHello | kChecksVersion | kChecksFlash,
     .startDisk = StartDiskMode::D1,
     .personality = PersonalityList::CdRomD3},
    {.number = 26,
     .traits = kShortReopenWait | kPauseBeforeHello | kChecksVersion,
     .startDisk = StartDiskMode::D1,
     .personality = PersonalityList::CdRomD3},
    {.number = 27,
     .traits = kShortReopenWait | kPauseBeforeHello | kBrandedJapanese | kEndsCheckWhenReady | kJapaneseImages,
     .startDisk = StartDiskMode::D1,
     .personality = PersonalityList::GroupA,
     .caption = "Netmarrow Software Update Tool", .logFolder = "Netmarrow JDH Update Tool",
     .windowTitle = "Netmarrow Software Update Tool"},
    {.number = 28,
     .traits = kShortReopenWait | kPauseBeforeHello | kBrandedJapanese | kDeletesLogOnPass
               | kEndsOnCancel | kEndsCheckWhenReady | kInfoVersionQuery | kChecksVersion | kChecksFlash
               | kJapaneseImages | kSingleNoticeGuide,
     .startDisk = StartDiskMode::D1,
     .personality = PersonalityList::GroupA,
     .caption = "JDF Software Update Tool", .logFolder = "Netmarrow JDF Update Tool",
     .wizard = GuideWizard::Guide2, .wizardTitle = "JDF Software Update Tool",
     .windowTitle = "JDF Software Update Tool (Ver3.0.1)"},
    {.number = 29,
     .traits = kShortReopenWait | kMakerName | kRestoresAfterAmssOnly | kPauseBeforeHello
               | kEndsCheckWhenReady,
     .startDisk = StartDiskMode::D1,
     .personality = PersonalityList::GroupA},
    {.number = 30,
     .traits = kShortReopenWait | kPauseBeforeHello,
     .startDisk = StartDiskMode::D1,
     .personality = PersonalityList::CdRomD3},
    {.number = 31,
     .traits = kShortReopenWait | kPauseBeforeHello,
     .startDisk = StartDiskMode::D1,
     .personality = PersonalityList::CdRomD3},
    {.number = 32,
     .traits = kShortReopenWait | kPauseBeforeHello,
     .startDisk = StartDiskMode::D1,
     .personality = PersonalityList::CdRomD3},
    {.number = 33,
     .traits = kShortReopenWait | kPauseBeforeHello,
     .startDisk = StartDiskMode::D1,
     .personality = PersonalityList::CdRomD3},
    {.number = 34,
     .traits = kShortReopenWait | kPauseBeforeHello,
     .startDisk = StartDiskMode::D2,
     .personality = PersonalityList::HardDiskD3},
    {.number = 35,
     .traits = kCdmaOnly | kEsnFirst | kNoSimLockRestore | kCdma2000DiskSwitch
               | kAlwaysResetsBeforeRestore | kNoPartitionTable},
    {.number = 36,
     .traits = kCdmaOnly | kEvdo | kEsnFirst | kIdentityNvWithRtrecfg | kShortReopenWait
               | kPauseBeforeHello | kNewPcSuiteRequest,
     .personality = PersonalityList::CfgData},
    {.number = 37,
     .traits = kCdmaOnly | kEvdo | kIdentityNvWithRtrecfg | kShortReopenWait | kPauseBeforeHello
               | kNewPcSuiteRequest,
     .personality = PersonalityList::CfgData},
    {.number = 38,
     .traits = kCdmaOnly | kEvdo | kUitInNv | kShortReopenWait | kPauseBeforeHello | kNewPcSuiteRequest
               | kSmallBlocks,
     .startDisk = StartDiskMode::D1},
    {.number = 39,
     .traits = kCdmaOnly | kEvdo | kUitInNv | kShortReopenWait | kPauseBeforeHello | kNewPcSuiteRequest
               | kSmallBlocks,
     .startDisk = StartDiskMode::D1,
     .personality = PersonalityList::CdRomD3},
    {.number = 40,
     .traits = kShortReopenWait | kSlowModemPort | kKeepsDiagServiceOpen | kNewPcSuiteRequest},
    {.number = 41,
     .traits = kCdmaOnly | kEvdo | kShortReopenWait | kPauseBeforeHello | kNewPcSuiteRequest
               | kWizardStart | kEndsCheckWhenReady | kRequiresVersion,
     .personality = PersonalityList::CfgData,
     .wizard = GuideWizard::Guide3, .windowTitle = "Telvoro上网卡软件版本升级程序"},
    {.number = 42,
     .traits = kBlockingDiagReads | kPowerOffAtEnd | kKeepsPortsInDownload | kDriverInstaller | kOstrel
               | kCloseAfterRun | kWizardStart | kChecksVersion | kJapaneseImages,
     .model = "JDD",
     .wizard = GuideWizard::Guide2},
    {.number = 43,
     .traits = kBootStageImages | kFtlCompanion},
    {.number = 44,
     .traits = kServiceCodePreCommands | kBootStageImages | kCompanionType20},
    {.number = 45,
     .traits = kBootStageImages | kFtlCompanion},
    {.number = 46,
     .traits = kLargeWriteSize | kBootStageImages | kFtlCompanion | kAppsEfsOnly | kDsp
               | kInfoVersionQuery | kChecksVersion},
    {.number = 47,
     .traits = kSecondImei | kBootStageImages | kFtlCompanion},
    {.number = 48,
     .traits = kCdmaOnly | kEvdo | kUitInNv | kShortReopenWait | kPauseBeforeHello | kNewPcSuiteRequest
               | kSmallBlocks,
     .startDisk = StartDiskMode::D1},
}};

constexpr ProjectRow kUnknownRow{};

const ProjectRow& RowOf(int32_t project) {
    if (project < 0 || static_cast<size_t>(project) >= kRows.size()) return kUnknownRow;
    return kRows[static_cast<size_t>(project)];
}

bool Has(int32_t project, Trait trait) { return (RowOf(project).traits & trait) != 0; }

// The rows are indexed by number: keep them in order.
constexpr bool RowsInOrder() {
    for (size_t i = 0; i < kRows.size(); ++i)
        if (kRows[i].number != static_cast<int32_t>(i)) return false;
    return true;
}
static_assert(RowsInOrder());

}  // namespace

int32_t HighestProject() { return kRows.back().number; }

bool IsPhoneProject(int32_t project) { return Has(project, kPhone); }

bool IsCdmaOnly(int32_t project) { return Has(project, kCdmaOnly); }
bool HasEvdo(int32_t project) { return Has(project, kEvdo); }
bool ReadsEsnFirst(int32_t project) { return Has(project, kEsnFirst); }
bool HasSecondImei(int32_t project) { return Has(project, kSecondImei); }
bool ReadsCllenAndZrreq(int32_t project) { return Has(project, kCllenAndZrreq); }
bool ReadsGmi(int32_t project) { return Has(project, kGmi); }
bool SkipsSimLockRestore(int32_t project) { return Has(project, kNoSimLockRestore); }

bool AddsIdentityNvWithRtrecfg(int32_t project) { return Has(project, kIdentityNvWithRtrecfg); }
bool KeepsUitResultsInNv(int32_t project) { return Has(project, kUitInNv); }
bool HasVarnelVariant(int32_t project) { return Has(project, kVarnelVariant); }
bool UsesProjectNvCatalogue(const ProjectConfig& cfg) { return HasVarnelVariant(cfg.projectType) && cfg.isVarnel; }

bool HasVersionMarker(int32_t project) { return Has(project, kVersionMarker); }
bool IsVersionMarked(int32_t project, int32_t versionMarker) { return HasVersionMarker(project) && versionMarker != 0; }
bool IsVersionMarked(const ProjectConfig& cfg) { return IsVersionMarked(cfg.projectType, cfg.versionMarker); }
bool IsAmssOnly(const ProjectConfig& cfg) { return cfg.bAMSSFile && !cfg.bEFS && !cfg.bRawAppsEFS && !cfg.pcSuite; }

bool UsesBlockingDiagReads(int32_t project) { return Has(project, kBlockingDiagReads); }
bool PowersOffAtEnd(int32_t project, bool phoneProject) { return !phoneProject && Has(project, kPowerOffAtEnd); }
bool UsesShortReopenWait(int32_t project) { return Has(project, kShortReopenWait); }
bool HasSlowModemPort(int32_t project) { return Has(project, kSlowModemPort); }
bool UsesLongReopenWait(int32_t project) { return Has(project, kLongReopenWait); }
bool KeepsPortsInDownloadSwitch(int32_t project) { return Has(project, kKeepsPortsInDownload); }
bool ResetsAfterDownload(int32_t project, bool amssOnly) {
    return Has(project, kResetAfterDownload) || (Has(project, kResetAfterFullDownload) && !amssOnly);
}

StartDiskMode StartOfRunDisk(int32_t project) { return RowOf(project).startDisk; }
PersonalityList PersonalityListOf(int32_t project) { return RowOf(project).personality; }
bool SetsMakerName(int32_t project, bool versionMarked) {
    return PersonalityListOf(project) == PersonalityList::GroupA &&
           (Has(project, kMakerName) || (versionMarked && HasVersionMarker(project)));
}
bool UsesCdma2000DiskSwitch(int32_t project) { return Has(project, kCdma2000DiskSwitch); }
bool KeepsDiagServiceOpen(int32_t project) { return Has(project, kKeepsDiagServiceOpen); }
bool RestoresAfterAmssOnly(int32_t project) { return Has(project, kRestoresAfterAmssOnly); }
bool AlwaysResetsBeforeRestore(int32_t project) { return Has(project, kAlwaysResetsBeforeRestore); }

bool UsesServiceCodePreCommands(int32_t project) { return Has(project, kServiceCodePreCommands); }
bool UsesLargeWriteSize(int32_t project) { return Has(project, kLargeWriteSize); }
bool NeedsPauseBeforeHello(int32_t project) { return Has(project, kPauseBeforeHello); }
bool HasNoPartitionTable(int32_t project) { return Has(project, kNoPartitionTable); }
bool UsesBootStageImages(int32_t project) { return Has(project, kBootStageImages); }
bool UsesFtlCompanion(int32_t project) { return Has(project, kFtlCompanion); }
bool UsesCompanionType20(int32_t project) { return Has(project, kCompanionType20); }
bool UsesNewPcSuiteRequest(int32_t project) { return Has(project, kNewPcSuiteRequest); }
bool UsesSmallBlocks(int32_t project) { return Has(project, kSmallBlocks); }
bool UsesCompactEfsPair(int32_t project) { return Has(project, kCompactEfsPair); }
bool UsesAppsEfsOnly(int32_t project) { return Has(project, kAppsEfsOnly); }
bool WritesDsp(int32_t project) { return Has(project, kDsp); }

bool UsesDriverInstaller(int32_t project) { return Has(project, kDriverInstaller); }
const OperatorVariant* OperatorVariantOf(int32_t project) {
    const ProjectRow& row = RowOf(project);
    return row.operatorVariant.versionTag.empty() ? nullptr : &row.operatorVariant;
}
bool IsOperatorVariant(int32_t project) { return OperatorVariantOf(project) != nullptr; }
bool UsesBrandedJapanese(int32_t project) { return Has(project, kBrandedJapanese); }
std::string_view BrandedCaption(int32_t project) { return RowOf(project).caption; }
std::string_view BrandedLogFolder(int32_t project) { return RowOf(project).logFolder; }
bool DeletesLogFolderOnPass(int32_t project) { return Has(project, kDeletesLogOnPass); }
bool EndsOnCancel(int32_t project) { return Has(project, kEndsOnCancel); }
bool IsOstrelVariant(int32_t project, bool versionMarked) {
    return Has(project, kOstrel) || (versionMarked && HasVersionMarker(project));
}
std::string_view VariantModel(int32_t project, int32_t versionMarker) {
    if (!RowOf(project).model.empty()) return RowOf(project).model;
    if (!HasVersionMarker(project)) return {};
    // The marker numbers the variant the configured version names.
    constexpr std::array<std::string_view, 3> kMarkedModels{"JDA", "JDB", "JDG"};
    if (versionMarker < 1 || versionMarker > static_cast<int32_t>(kMarkedModels.size())) return {};
    return kMarkedModels[static_cast<size_t>(versionMarker - 1)];
}
bool EnablesCloseAfterRun(int32_t project, bool versionMarked) {
    return Has(project, kCloseAfterRun) || (versionMarked && HasVersionMarker(project));
}
bool StartsWizardInsteadOfUtilityCheck(int32_t project, bool versionMarked) {
    return Has(project, kWizardStart) || (versionMarked && HasVersionMarker(project));
}
bool EndsCheckWhenReady(int32_t project) { return Has(project, kEndsCheckWhenReady); }
bool UsesInfoVersionQuery(int32_t project) { return Has(project, kInfoVersionQuery); }
bool ChecksDeviceVersion(int32_t project) { return Has(project, kChecksVersion); }
bool ChecksFlashSize(int32_t project) { return Has(project, kChecksFlash); }
bool RequiresConfiguredVersion(int32_t project) { return Has(project, kRequiresVersion); }
bool ShowsDeviceVersionAtEnd(int32_t project) { return Has(project, kShowsVersionAtEnd); }

// A version-marked card is an Ostrel variant and looks like one.
GuideWizard WizardOf(int32_t project, bool versionMarked) {
    if (versionMarked && HasVersionMarker(project)) return GuideWizard::Guide2;
    return RowOf(project).wizard;
}
std::string_view WizardTitle(int32_t project) { return RowOf(project).wizardTitle; }
std::string_view WindowTitle(int32_t project) { return RowOf(project).windowTitle; }
bool UsesJapaneseImages(int32_t project, bool versionMarked) {
    return Has(project, kJapaneseImages) || (versionMarked && HasVersionMarker(project));
}
AboutLayout AboutLayoutOf(int32_t project, bool versionMarked) {
    if (Has(project, kAboutVersionOnly)) return AboutLayout::VersionOnly;
    return IsOstrelVariant(project, versionMarked) ? AboutLayout::Variant : AboutLayout::Plain;
}
bool UsesSingleNoticeGuide(int32_t project) { return Has(project, kSingleNoticeGuide); }

}  // namespace flintcast::config
