#include "controller/run_phases.h"

#include <algorithm>
#include <array>
#include <utility>

#include "engine/image_kinds.h"

namespace flintcast::controller {
namespace {

using engine::ImageKind;

struct ImageTitle {
    ImageKind kind;
    std::string_view title;
    bool bootLoader;  // written while the boot loader phase lasts
};

constexpr std::array<ImageTitle, 18> kImageTitles{{
    {ImageKind::Amss, "AMSS modem", false},
    {ImageKind::PhoneImage, "phone image", false},
    {ImageKind::AppsImage, "apps image", false},
    {ImageKind::AppsBootloader, "apps boot loader", false},
    {ImageKind::Efs, "EFS", false},
    {ImageKind::AppEfs, "application EFS", false},
    {ImageKind::ModemEfs, "modem EFS", false},
    {ImageKind::RawAppsEfs, "raw apps EFS", false},
    {ImageKind::Companion, "FTL image", false},
    {ImageKind::Cfgdata, "cfgdata", false},
    {ImageKind::Fsbl, "FSBL", true},
    {ImageKind::Osbl, "OSBL", true},
    {ImageKind::Dbl, "DBL", true},
    {ImageKind::QcsblHeader, "QCSBL header", true},
    {ImageKind::Qcsbl, "QCSBL", true},
    {ImageKind::Oemsbl, "OEMSBL", true},
    {ImageKind::Dsp1, "DSP1", false},
    {ImageKind::Dsp2, "DSP2", false},
}};

// The line that opens an image's transfer (normal or fast) names its kind.
const ImageTitle* ImageStartedBy(std::string_view text) {
    for (const auto& entry : kImageTitles) {
        const auto& info = engine::InfoFor(entry.kind);
        if (text == info.startText || (!info.fastText.empty() && text == info.fastText)) return &entry;
    }
    return nullptr;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// Lines of the programmer load that opens the boot loader phase.
constexpr std::array<std::string_view, 3> kBootLoaderOpeners = {"Sending nop_cmd", "Sending 001", "Security cmd"};
// Lines that show the device's data being read for the backup.
constexpr std::array<std::string_view, 4> kBackupOpeners = {"Read", "Backup NV", "WIFI file backup", "[EFS]"};
constexpr std::array<std::string_view, 2> kResetOpeners = {"Reset or power off......", "Reset"};
constexpr std::array<std::string_view, 2> kRestoreOpeners = {"Restore", "Restoring from the backup"};

constexpr std::string_view kCheckLine = "Check......";
constexpr std::string_view kStartLine = "Start succssfully";
constexpr std::string_view kBackupDoneLine = "Backup succssfully";
constexpr std::string_view kPassLine = "PASS";
// "<file> downloading, N blocks": the file of the image being written.
constexpr std::string_view kCountedMarker = " downloading, ";

constexpr int kFailureKind = 2;

template <size_t N>
bool OpenedBy(std::string_view text, const std::array<std::string_view, N>& openers, bool exact = false) {
    return std::any_of(openers.begin(), openers.end(),
                       [&](std::string_view o) { return exact ? text == o : StartsWith(text, o); });
}

}  // namespace

std::string_view PhaseName(RunPhase phase) {
    switch (phase) {
        case RunPhase::Checks: return "checks";
        case RunPhase::Backup: return "backup";
        case RunPhase::BootLoader: return "boot-loader";
        case RunPhase::Image: return "image";
        case RunPhase::Reset: return "reset";
        case RunPhase::Restore: return "restore";
    }
    return "checks";
}

std::string_view OutcomeName(PhaseOutcome outcome) {
    switch (outcome) {
        case PhaseOutcome::Ok: return "ok";
        case PhaseOutcome::Failed: return "failed";
        case PhaseOutcome::Stopped: return "stopped";
    }
    return "failed";
}

void PhaseTracker::Begin(RunPhase phase, std::string title, uint32_t nowMs, std::vector<PhaseEvent>& out) {
    End(PhaseOutcome::Ok, nowMs, out);
    current_ = Open{phase, title, nowMs};
    PhaseEvent event;
    event.type = PhaseEvent::Type::Started;
    event.phase = phase;
    event.title = std::move(title);
    out.push_back(std::move(event));
}

void PhaseTracker::End(PhaseOutcome outcome, uint32_t nowMs, std::vector<PhaseEvent>& out) {
    if (!current_) return;
    PhaseEvent event;
    event.type = PhaseEvent::Type::Ended;
    event.phase = current_->phase;
    event.title = current_->title;
    event.outcome = outcome;
    event.elapsedMs = nowMs - current_->startMs;
    if (outcome == PhaseOutcome::Failed) event.reason = lastFailure_;
    out.push_back(std::move(event));
    current_.reset();
}

std::vector<PhaseEvent> PhaseTracker::OnLine(int kind, std::string_view text, uint32_t nowMs) {
    std::vector<PhaseEvent> out;
    if (kind == kFailureKind) {
        lastFailure_ = std::string(text);
        return out;
    }
    const bool open = current_.has_value();
    auto in = [&](RunPhase p) { return open && current_->phase == p; };
    const bool beforeBackup = !open || in(RunPhase::Checks);
    const bool beforeImages = beforeBackup || in(RunPhase::Backup) || in(RunPhase::BootLoader);

    if (text == kPassLine) {
        passed_ = true;
        End(PhaseOutcome::Ok, nowMs, out);
    } else if (!open && (text == kCheckLine || text == kStartLine)) {
        Begin(RunPhase::Checks, "Checks", nowMs, out);
    } else if (beforeBackup && !backupSeen_ && OpenedBy(text, kBackupOpeners)) {
        backupSeen_ = true;
        Begin(RunPhase::Backup, "Backup", nowMs, out);
    } else if (in(RunPhase::Backup) && text == kBackupDoneLine) {
        End(PhaseOutcome::Ok, nowMs, out);
    } else if (const ImageTitle* image = ImageStartedBy(text)) {
        if (image->bootLoader) {
            if (beforeImages && !in(RunPhase::BootLoader)) Begin(RunPhase::BootLoader, "Boot loader", nowMs, out);
        } else {
            std::string title = "Image " + std::string(image->title);
            if (!in(RunPhase::Image) || current_->title != title) Begin(RunPhase::Image, title, nowMs, out);
        }
    } else if (beforeImages && !in(RunPhase::BootLoader) && OpenedBy(text, kBootLoaderOpeners)) {
        Begin(RunPhase::BootLoader, "Boot loader", nowMs, out);
    } else if (in(RunPhase::Image) && text.find(kCountedMarker) != std::string_view::npos &&
               current_->title.find('(') == std::string::npos) {
        current_->title += " (" + std::string(text.substr(0, text.find(kCountedMarker))) + ")";
    } else if (!in(RunPhase::Reset) && !in(RunPhase::Checks) && OpenedBy(text, kResetOpeners, true)) {
        Begin(RunPhase::Reset, "Reset", nowMs, out);
    } else if (!in(RunPhase::Restore) && !beforeImages && OpenedBy(text, kRestoreOpeners)) {
        Begin(RunPhase::Restore, "Restore", nowMs, out);
    }
    return out;
}

std::vector<PhaseEvent> PhaseTracker::OnRunEnded(PhaseOutcome outcome, uint32_t nowMs) {
    std::vector<PhaseEvent> out;
    End(passed_ ? PhaseOutcome::Ok : outcome, nowMs, out);
    lastFailure_.clear();
    backupSeen_ = false;
    passed_ = false;
    return out;
}

uint64_t ImageBytesDone(int position, int maximum, uint64_t totalImageBytes) {
    if (maximum <= 0 || position <= 0) return 0;
    // The worker's bar runs to 99 of 100 over the image bytes.
    const uint64_t full = static_cast<uint64_t>(maximum) * 99 / 100;
    if (full == 0 || static_cast<uint64_t>(position) >= full) return totalImageBytes;
    return totalImageBytes * static_cast<uint64_t>(position) / full;
}

}  // namespace flintcast::controller
