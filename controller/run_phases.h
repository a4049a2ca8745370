#pragma once
// The phases of an update as an operator sees them (checks, backup, boot loader, each image,
// reset, restore), followed from the run's log lines and its end. A presentation that shows one
// line per phase, or a progress event per phase, feeds every line here and shows what comes back.
// Pure: the clock is passed in, so the same lines give the same phases.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace flintcast::controller {

enum class RunPhase { Checks, Backup, BootLoader, Image, Reset, Restore };
enum class PhaseOutcome { Ok, Failed, Stopped };

// "checks", "backup", "boot-loader", "image", "reset", "restore": stable names for scripts.
std::string_view PhaseName(RunPhase phase);
std::string_view OutcomeName(PhaseOutcome outcome);

struct PhaseEvent {
    enum class Type { Started, Ended };
    Type type = Type::Started;
    RunPhase phase = RunPhase::Checks;
    std::string title;  // "Backup", "Image AMSS modem", ...
    PhaseOutcome outcome = PhaseOutcome::Ok;  // Ended only
    uint32_t elapsedMs = 0;                   // Ended only
    std::string reason;                       // Ended with Failed: the failure line
};

class PhaseTracker {
public:
    // One log line of the run (kind as the controller shows it) at `nowMs`.
    std::vector<PhaseEvent> OnLine(int kind, std::string_view text, uint32_t nowMs);
    // The run ended: the open phase ends with `outcome` (Ok after "PASS").
    std::vector<PhaseEvent> OnRunEnded(PhaseOutcome outcome, uint32_t nowMs);

    struct Open {
        RunPhase phase;
        std::string title;
        uint32_t startMs;
    };
    const std::optional<Open>& current() const { return current_; }

private:
    std::optional<Open> current_;
    std::string lastFailure_;
    bool backupSeen_ = false;
    bool passed_ = false;

    void Begin(RunPhase phase, std::string title, uint32_t nowMs, std::vector<PhaseEvent>& out);
    void End(PhaseOutcome outcome, uint32_t nowMs, std::vector<PhaseEvent>& out);
};

// Image bytes written so far from the worker's progress bar: the bar reaches 99 of its maximum
// when every image byte is sent (100 only at the pass).
uint64_t ImageBytesDone(int position, int maximum, uint64_t totalImageBytes);

}  // namespace flintcast::controller
