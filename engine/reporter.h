#pragma once
// The worker's reporting core: status lines, the error latch (first error
// wins), the stop request and the hooks through which lines leave the worker.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

namespace flintcast::engine {

// The classes of status lines; each stands for a fixed (code, kind) pair.
// The main window colours by kind: 2 red, 3 green (run passed), else default.
enum class LineClass {
    Progress,       // 5, 0: step texts and "......wait" lines
    Ordinary,       // 8, 1: log lines, results, warnings
    Setup,          // 0, 0: port set-up messages
    FailureNotice,  // 1, 2: "COMM Closed", mode-switch failures; latch untouched
    Pass,           // 8, 3: the final "PASS"
};

struct LinePair {
    int32_t code;
    int32_t kind;
};

constexpr LinePair PairOf(LineClass c) {
    switch (c) {
        case LineClass::Progress: return {5, 0};
        case LineClass::Ordinary: return {8, 1};
        case LineClass::Setup: return {0, 0};
        case LineClass::FailureNotice: return {1, 2};
        case LineClass::Pass: return {8, 3};
    }
    return {8, 1};
}

// An ordinary line that the operator must see even in a quiet presentation starts with this:
// something the run could not do that does not fail it (items of the unit that were not restored).
inline constexpr std::string_view kWarningPrefix = "Warning: ";
inline bool IsWarningLine(std::string_view text) { return text.starts_with(kWarningPrefix); }

// Value the controller writes into the latch to stop a worker.
inline constexpr int32_t kStopRequest = 210;
// Latch value of an error that came without a system error (the line shows 0).
inline constexpr int32_t kErrorWithoutSystemCode = 31;

// Hooks set by the run controller before the worker starts; each may be empty.
// They are called on the worker's thread.
struct ReporterHooks {
    std::function<void(int32_t slot, int32_t code, int32_t kind, const std::string& text)> OnStatus;
    std::function<void(int32_t slot, const std::string& text)> OnErrorText;
    std::function<void(int32_t slot, int32_t position, int32_t maximum)> OnProgress;
    std::function<void(int32_t slot)> OnEnd;
};

class Reporter {
public:
    explicit Reporter(int32_t slotIndex = 0, ReporterHooks hooks = {});

    int32_t slotIndex() const { return slotIndex_; }
    void setSlotIndex(int32_t slot) { slotIndex_ = slot; }
    void setHooks(ReporterHooks hooks) { hooks_ = std::move(hooks); }

    // A status line with an explicit code and kind.
    void ShowStatus(int32_t code, std::string_view text, int32_t kind);
    // A status line of one of the line classes.
    void ShowStatus(LineClass lineClass, std::string_view text);

    // The error latch, with the system error value taken from errno at the
    // moment of the call. Only the first error of a run posts a line.
    void ShowError(std::string_view text);
    // The same with the system error value given by the caller (taken right
    // after the failing call, before anything else could change errno).
    void ShowError(std::string_view text, int systemError);

    // Called by ShowError in every case: clears the diagnostic port's pending
    // communication errors, so a latched line error does not block later reads.
    void setCommErrorClearer(std::function<void()> clearer) { commErrorClearer_ = std::move(clearer); }

    // Stop request from the controller (any thread): the latch becomes 210.
    void RequestStop() { errorCode.store(kStopRequest); }
    // Start of a run: clears the latch and the status text, so a stop request
    // that came before the run started is forgotten.
    void BeginRun();
    // The two places that clear the latch in mid-run (the RF NV backup and
    // correction) call this at their end. A stop request stays latched, also one
    // that arrives while the latch is being cleared.
    void ClearError() {
        int32_t current = errorCode.load();
        while (current != kStopRequest && !errorCode.compare_exchange_weak(current, 0)) {
        }
    }

    bool ok() const { return errorCode.load() == 0; }
    bool stopRequested() const { return errorCode.load() == kStopRequest; }
    int32_t error() const { return errorCode.load(); }

    // The last line posted (status or error).
    std::string statusText() const;

    // Progress bar of the worker's slot and the end notification.
    void SetProgress(int32_t position, int32_t maximum);
    void NotifyEnd();

    // The error latch: 0 while the run is healthy. Written by the controller
    // (stop request) and read by the worker without further locking.
    std::atomic<int32_t> errorCode{0};

private:
    int32_t slotIndex_;
    ReporterHooks hooks_;
    std::function<void()> commErrorClearer_;
    mutable std::mutex textMutex_;
    std::string statusText_;

    void setStatusText(std::string text);
};

}  // namespace flintcast::engine
