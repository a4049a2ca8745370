#pragma once
// Waiting for an event in a test: the condition is checked until it holds or a generous real-time
// limit passes. The limit only stops a broken test; a passing test never reaches it, so a slow
// machine does not fail it.
#include <chrono>
#include <functional>
#include <thread>

namespace flintcast::testing {

inline constexpr std::chrono::milliseconds kEventLimit{30000};

// True once `done` holds; false when the limit passed first.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = kEventLimit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace flintcast::testing
