#pragma once
// Per-project rules in one table: one row per project number, each rule a named property,
// read through the named functions below. Every place that treats projects differently asks
// here instead of comparing project numbers itself. Unknown numbers have no properties.
#include <cstdint>
#include <string_view>

namespace flintcast::config {

struct ProjectConfig;

// How the run switches the card's disk at its start (AT+DISK=8 with the device's USB mode).
enum class StartDiskMode { None, D1, D2 };

// Which AT command list sets the card's USB personality at the end of the run.
enum class PersonalityList { None, GroupA, CdRomD2, CdRomD3, HardDiskD3, CfgData };

// The start-up guide a variant's window opens with (Guide3 comes with the compact window).
enum class GuideWizard { None, Guide, Guide1, Guide2, Guide3 };

// The about box: the plain one, the version-only one of the guide variants, or the Japanese
// variant's with its own title.
enum class AboutLayout { Plain, VersionOnly, Variant };

// Where an operator variant's own text differs: the version tag its firmware carries and the
// word its refusal uses for other devices.
struct OperatorVariant {
    std::string_view versionTag;
    std::string_view otherDevices;
};

// The highest project number the table knows (rows run from 0 up to it).
int32_t HighestProject();

// Handsets (5, 7 and 11): reset rather than powered off, no PC-suite image.
bool IsPhoneProject(int32_t project);

// --- identity ---
// CDMA-only cards: no IMEI to read, no RF NV items to keep.
bool IsCdmaOnly(int32_t project);
// CDMA cards with EVDO: the MEID is read and the EVDO NV catalogue is backed up.
bool HasEvdo(int32_t project);
// The ESN is read once before the configured ESN read.
bool ReadsEsnFirst(int32_t project);
bool HasSecondImei(int32_t project);
bool ReadsCllenAndZrreq(int32_t project);
bool ReadsGmi(int32_t project);
// The SIM lock is not written back after the restore.
bool SkipsSimLockRestore(int32_t project);

// --- NV items ---
// The identity catalogue joins the EVDO catalogue when RTRECFG is on.
bool AddsIdentityNvWithRtrecfg(int32_t project);
// The UIT test results live in NV items (unless the configuration keeps them the new way).
bool KeepsUitResultsInNv(int32_t project);
// Config.ini may mark the project's own NV catalogue (IsVarnel).
bool HasVarnelVariant(int32_t project);
// The project's own NV catalogue is backed up and restored instead of the default one.
bool UsesProjectNvCatalogue(const ProjectConfig& cfg);

// --- version marker ---
// Config.ini's version text may carry a variant marker.
bool HasVersionMarker(int32_t project);
// A project whose configured version carries a variant marker.
bool IsVersionMarked(const ProjectConfig& cfg);
bool IsVersionMarked(int32_t project, int32_t versionMarker);
// Only AMSS is written: no EFS, raw applications EFS or PC-suite image.
bool IsAmssOnly(const ProjectConfig& cfg);

// --- serial ports, resets and re-discovery ---
// Slow diagnostic ports read with blocking reads.
bool UsesBlockingDiagReads(int32_t project);
// The end of an update powers the card off instead of resetting it (never a handset).
bool PowersOffAtEnd(int32_t project, bool phoneProject);
// Ports come back quickly after the second reset (3 s before each reopen instead of 6 s).
bool UsesShortReopenWait(int32_t project);
// ... except the modem port of these, which keeps the longer wait.
bool HasSlowModemPort(int32_t project);
// Very slow to come back after the second reset (15 s diagnostic, 10 s modem).
bool UsesLongReopenWait(int32_t project);
// The diagnostic port does not re-enumerate on the switch to download mode.
bool KeepsPortsInDownloadSwitch(int32_t project);
// Reset, wait and reopen after the download (and, on failure, the offer to update again),
// except for an AMSS-only run of the projects that only need it for the full set.
bool ResetsAfterDownload(int32_t project, bool amssOnly);

// --- USB personality ---
StartDiskMode StartOfRunDisk(int32_t project);
PersonalityList PersonalityListOf(int32_t project);
// The maker name is set before the personality switch (also on a version-marked card).
bool SetsMakerName(int32_t project, bool versionMarked);
// The disk switch of the CDMA2000 card at the start of the run.
bool UsesCdma2000DiskSwitch(int32_t project);
// The DIAG service stays open after the personality switch.
bool KeepsDiagServiceOpen(int32_t project);
// An AMSS-only run still resets, restores and switches to the disk table.
bool RestoresAfterAmssOnly(int32_t project);
// The first reset and restore run for the project whatever the images.
bool AlwaysResetsBeforeRestore(int32_t project);

// --- download ---
bool UsesServiceCodePreCommands(int32_t project);
bool UsesLargeWriteSize(int32_t project);
// A pause before each streaming hello.
bool NeedsPauseBeforeHello(int32_t project);
// No security image and no partition table image.
bool HasNoPartitionTable(int32_t project);
// Boots through DBL, FSBL and OSBL (no AMSS header image, the secondary open requests).
bool UsesBootStageImages(int32_t project);
// Companion image requests: FTL (0x0E), type 0x20, or the new PC-suite request (0x81).
bool UsesFtlCompanion(int32_t project);
bool UsesCompanionType20(int32_t project);
bool UsesNewPcSuiteRequest(int32_t project);
// Smaller stream blocks.
bool UsesSmallBlocks(int32_t project);
// A compact EFS and a compact applications EFS image.
bool UsesCompactEfsPair(int32_t project);
// Only the applications EFS image.
bool UsesAppsEfsOnly(int32_t project);
bool WritesDsp(int32_t project);

// --- presentation and checks ---
// The driver installer and the environment cleaners are staged and run.
bool UsesDriverInstaller(int32_t project);
// The operator's variant: its version tag and wording, nullptr for other projects.
const OperatorVariant* OperatorVariantOf(int32_t project);
bool IsOperatorVariant(int32_t project);
// Japanese branded variants with their own caption and log folder.
bool UsesBrandedJapanese(int32_t project);
std::string_view BrandedCaption(int32_t project);
// Log folder below the log root ("" for the root itself).
std::string_view BrandedLogFolder(int32_t project);
bool DeletesLogFolderOnPass(int32_t project);
// Cancel at the branded start confirmation ends the tool.
bool EndsOnCancel(int32_t project);
// Ostrel variants (also a version-marked card): their contact line, start reminder and
// Japanese refusals.
bool IsOstrelVariant(int32_t project, bool versionMarked);
// The model name shown by an Ostrel variant ("" when it has none).
std::string_view VariantModel(int32_t project, int32_t versionMarker);
bool EnablesCloseAfterRun(int32_t project, bool versionMarked);
bool StartsWizardInsteadOfUtilityCheck(int32_t project, bool versionMarked);
// The device check stops once the device is ready.
bool EndsCheckWhenReady(int32_t project);
// The version is asked with the info query instead of the plain one.
bool UsesInfoVersionQuery(int32_t project);
bool ChecksDeviceVersion(int32_t project);
bool ChecksFlashSize(int32_t project);
// Config.ini must name a version.
bool RequiresConfiguredVersion(int32_t project);
// The device's version is shown at the end of the run.
bool ShowsDeviceVersionAtEnd(int32_t project);

// --- window ---
GuideWizard WizardOf(int32_t project, bool versionMarked);
// The guide's own title; "" where the variant's model names it, and without a guide.
std::string_view WizardTitle(int32_t project);
// The window title a variant fixes ("" where the configuration's caption or the guide names it).
std::string_view WindowTitle(int32_t project);
// The Japanese Start and finish pictures.
bool UsesJapaneseImages(int32_t project, bool versionMarked);
AboutLayout AboutLayoutOf(int32_t project, bool versionMarked);
// The variant guide shows a single notice and closes without asking.
bool UsesSingleNoticeGuide(int32_t project);

}  // namespace flintcast::config
