#pragma once
// A device that follows a script byte for byte: each step names the exact bytes the tool must
// write and the bytes the device answers. Writes may arrive in any number of chunks; a step is
// answered once all its bytes are in. A write that differs from the script ends it: the device
// goes silent and the difference is kept for the test to report.
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "tests/at/scripted_port.h"

namespace flintcast::testing {

class ScriptedExchange {
public:
    struct Step {
        std::string expect;  // what the tool writes
        std::string reply;   // what the device answers (empty: nothing)
    };

    ScriptedExchange(const std::filesystem::path& root, const std::string& name, std::vector<Step> steps)
        : steps_(std::move(steps)), port_(root, name, [this](const std::string& in) { return onWrite(in); }) {}

    // Every step was written exactly and answered.
    bool done() {
        std::lock_guard lock(mutex_);
        return next_ == steps_.size() && pending_.empty() && mismatch_.empty();
    }
    // Empty, or the first write that left the script (with the step it broke).
    std::string mismatch() {
        std::lock_guard lock(mutex_);
        return mismatch_;
    }
    size_t stepsDone() {
        std::lock_guard lock(mutex_);
        return next_;
    }

private:
    std::mutex mutex_;
    std::vector<Step> steps_;
    size_t next_ = 0;
    std::string pending_;
    std::string mismatch_;
    ScriptedPort port_;  // last: its thread starts once the script is in place

    std::string onWrite(const std::string& chunk) {
        std::lock_guard lock(mutex_);
        if (!mismatch_.empty()) return {};
        pending_ += chunk;
        std::string answer;
        while (next_ < steps_.size() && pending_.size() >= steps_[next_].expect.size()) {
            const Step& step = steps_[next_];
            if (pending_.compare(0, step.expect.size(), step.expect) != 0) {
                mismatch_ = "step " + std::to_string(next_) + ": got " + Hex(pending_) + ", expected " + Hex(step.expect);
                return {};
            }
            pending_.erase(0, step.expect.size());
            answer += step.reply;
            ++next_;
        }
        if (next_ == steps_.size() && !pending_.empty()) {
            mismatch_ = "after the script: " + Hex(pending_);
        }
        return answer;
    }

    static std::string Hex(const std::string& bytes) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        std::string out;
        for (const char c : bytes) {
            const auto b = static_cast<unsigned char>(c);
            if (!out.empty()) out += ' ';
            out += kDigits[b >> 4];
            out += kDigits[b & 0x0F];
        }
        return out;
    }
};

}  // namespace flintcast::testing
