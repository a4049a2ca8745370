#pragma once
// Scaled clock: every wait, poll and time limit of the tool reads this clock.
// Scale 1.0 is real time; a scale of 0.01 runs a 2,000 ms limit in 20 real ms,
// which lets tests, the demo and the simulator run the real timing rules fast.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string_view>

namespace flintcast::platform {

class Clock {
public:
    explicit Clock(double scale = 1.0);

    // Tag of a manual clock: it takes no real time. Every wait moves it forward by the wait's
    // length at once and advanceMs() moves it on, so a test steps through waits and time limits
    // without racing real time. Only for code that waits without a device answering meanwhile.
    struct Manual {};
    explicit Clock(Manual);
    bool manual() const { return manual_; }
    // Moves a manual clock forward; no effect on a scaled one.
    void advanceMs(uint32_t ms);

    double scale() const { return scale_.load(std::memory_order_relaxed); }
    void setScale(double scale);

    // Sleeps for `ms` milliseconds of tool time.
    void sleepMs(uint32_t ms) const;
    // Milliseconds of tool time since the clock was made; wraps like a 32-bit tick count.
    uint32_t tickMs() const;
    // Real milliseconds to hand to poll() for a wait of `ms` tool milliseconds
    // (at least 1 ms for any non-zero wait, so a scaled wait never becomes a busy loop).
    int realTimeoutMs(uint32_t ms) const;
    // Real microseconds for a wait of `ms` tool milliseconds.
    int64_t realMicros(uint32_t ms) const;

private:
    std::atomic<double> scale_;
    int64_t originNs_;
    bool manual_ = false;
    mutable std::atomic<uint64_t> manualMs_{0};
};

// Parses a time scale text ("0.01", "1"); nullopt when it is not a positive finite number.
std::optional<double> ParseTimeScale(std::string_view text);

// The process-wide clock. Its scale comes from FLINTCAST_TIME_SCALE when set,
// and the command line may change it before any worker starts.
Clock& SystemClock();

}  // namespace flintcast::platform
