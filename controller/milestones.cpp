#include "controller/milestones.h"

#include <array>

namespace flintcast::controller {

namespace {

constexpr std::array<std::string_view, 8> kMilestones = {
    "Start succssfully",
    "Backup succssfully",
    "Bootloader succssfully",
    "AMSSFile succssfully",
    "AppsImageAndBootloader succssfully",
    "PCSuite succssfully",
    "EFSFile succssfully",
    "PASS",
};

}  // namespace

bool IsMilestone(std::string_view text) {
    for (auto milestone : kMilestones) {
        if (text == milestone) return true;
    }
    return false;
}

bool ResumeOfferVisible(std::string_view storedStatus) {
    return !storedStatus.empty() && storedStatus != kStartMilestone && storedStatus != kPassMilestone;
}

ResumePlan PlanResume(std::string_view storedStatus) {
    ResumePlan plan;
    // Each later milestone implies every earlier one: the stages run in this order.
    int reached = -1;
    if (storedStatus == "Backup succssfully") reached = 0;
    else if (storedStatus == "Bootloader succssfully") reached = 1;
    else if (storedStatus == "AMSSFile succssfully") reached = 2;
    else if (storedStatus == "AppsImageAndBootloader succssfully") reached = 3;
    else if (storedStatus == "PCSuite succssfully") reached = 4;
    else if (storedStatus == "EFSFile succssfully") reached = 5;

    if (reached < 0) {
        // "Start succssfully", "PASS", empty, or a value this tool never stores.
        plan.statusWrong = true;
        return plan;
    }
    plan.backupOff = true;
    plan.bootloaderOff = reached >= 1;
    plan.amssOff = reached >= 2;
    plan.appsImagesOff = reached >= 3;
    plan.pcSuiteOff = reached >= 4;
    plan.efsOff = reached >= 5;
    return plan;
}

}  // namespace flintcast::controller
