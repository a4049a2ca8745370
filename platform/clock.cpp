#include "platform/clock.h"
#include "platform/sleep_tally.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>

namespace flintcast::platform {
namespace {

int64_t MonotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Every sleep of every clock, for measured runs (see sleep_tally.h).
std::atomic<uint64_t> gSleptMs{0};
std::atomic<uint64_t> gSleeps{0};

}  // namespace

SleepTally ReadSleepTally() {
    return {gSleptMs.load(std::memory_order_relaxed), gSleeps.load(std::memory_order_relaxed)};
}

Clock::Clock(double scale) : scale_(scale > 0 && std::isfinite(scale) ? scale : 1.0), originNs_(MonotonicNs()) {}

Clock::Clock(Manual) : scale_(1.0), originNs_(0), manual_(true) {}

void Clock::advanceMs(uint32_t ms) {
    if (manual_) manualMs_.fetch_add(ms, std::memory_order_relaxed);
}

void Clock::setScale(double scale) {
    if (scale > 0 && std::isfinite(scale)) scale_.store(scale, std::memory_order_relaxed);
}

int64_t Clock::realMicros(uint32_t ms) const {
    if (manual_) return 0;
    return static_cast<int64_t>(std::llround(static_cast<double>(ms) * 1000.0 * scale()));
}

void Clock::sleepMs(uint32_t ms) const {
    if (ms == 0) return;
    gSleptMs.fetch_add(ms, std::memory_order_relaxed);
    gSleeps.fetch_add(1, std::memory_order_relaxed);
    if (manual_) {
        manualMs_.fetch_add(ms, std::memory_order_relaxed);
        return;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(std::max<int64_t>(1, realMicros(ms))));
}

uint32_t Clock::tickMs() const {
    if (manual_) return static_cast<uint32_t>(manualMs_.load(std::memory_order_relaxed) & 0xFFFFFFFFu);
    const double realMs = static_cast<double>(MonotonicNs() - originNs_) / 1e6;
    const double toolMs = realMs / scale();
    return static_cast<uint32_t>(static_cast<uint64_t>(toolMs) & 0xFFFFFFFFu);
}

int Clock::realTimeoutMs(uint32_t ms) const {
    if (ms == 0) return 0;
    if (manual_) {
        // The wait passes at once: a poll with this time-out looks and returns.
        manualMs_.fetch_add(ms, std::memory_order_relaxed);
        return 0;
    }
    const double real = std::ceil(static_cast<double>(ms) * scale());
    if (real >= 2147483647.0) return 2147483647;
    return std::max(1, static_cast<int>(real));
}

std::optional<double> ParseTimeScale(std::string_view text) {
    std::string s(text);
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (s.empty() || end != s.c_str() + s.size() || !std::isfinite(v) || v <= 0) return std::nullopt;
    return v;
}

Clock& SystemClock() {
    static Clock clock([] {
        const char* env = std::getenv("FLINTCAST_TIME_SCALE");
        if (env != nullptr) {
            if (auto v = ParseTimeScale(env)) return *v;
        }
        return 1.0;
    }());
    return clock;
}

}  // namespace flintcast::platform
