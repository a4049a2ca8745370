#pragma once
// Milestones: the exact status texts a run posts as it reaches each stage. The last one reached
// is kept in the settings store as the resume state, and Re_update turns off what it shows done.
#include <string_view>

namespace flintcast::controller {

inline constexpr std::string_view kStartMilestone = "Start succssfully";
inline constexpr std::string_view kBackupMilestone = "Backup succssfully";
inline constexpr std::string_view kPassMilestone = "PASS";

// The settings value beside "DownloadStatus" that names the device backup folder of the last
// run: written when its backup is complete, emptied when a run ends in "PASS". A resumed run
// restores from that folder.
inline constexpr std::string_view kBackupFolderSetting = "Backup Folder";

// True for a text that is stored as "DownloadStatus" (compared letter for letter).
bool IsMilestone(std::string_view text);

// Whether the Re_update offer is shown for a stored status: only after a milestone beyond the
// start and short of the pass.
bool ResumeOfferVisible(std::string_view storedStatus);

// The download items a resumed run turns off, from the stored status.
struct ResumePlan {
    bool statusWrong = false;  // nothing to resume from: "Status was wrong" is logged
    bool backupOff = false;
    bool bootloaderOff = false;
    bool amssOff = false;
    bool appsImagesOff = false;  // apps boot loader, apps image and boot loader
    bool pcSuiteOff = false;
    bool efsOff = false;  // EFS and raw applications EFS
};

ResumePlan PlanResume(std::string_view storedStatus);

}  // namespace flintcast::controller
