#pragma once
// A presentation that records what the run controller shows, and a run environment whose port
// selectors a test sets; both answer without asking anyone.
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "controller/presentation.h"
#include "controller/run_environment.h"

namespace flintcast::testing {

struct ShownLine {
    int slot;
    int kind;
    std::string text;
};

class RecordingPresentation : public controller::Presentation {
public:
    void ShowLine(int slot, int kind, const std::string& text) override {
        std::lock_guard lock(mutex);
        lines.push_back({slot, kind, text});
    }
    void SetProgress(int, int position, int maximum) override {
        std::lock_guard lock(mutex);
        progress.push_back(position);
        lastMaximum = maximum;
    }
    void SetStatus(const std::string& text, controller::RunState state) override {
        status = text;
        runState = state;
    }
    void SetRunState(controller::RunState state) override { runState = state; }
    controller::MessageAnswer ShowMessage(const controller::Message& message) override {
        std::lock_guard lock(mutex);
        messages.push_back(message);
        return answer;
    }
    void SetResumeOffer(bool visible) override { resumeOffer = visible; }
    void RunEnded(int slot) override { endedSlots.push_back(slot); }

    bool HasLine(const std::string& text) const {
        std::lock_guard lock(mutex);
        for (const auto& line : lines) {
            if (line.text == text) return true;
        }
        return false;
    }

    mutable std::mutex mutex;
    std::vector<ShownLine> lines;
    std::vector<int> progress;
    int lastMaximum = 0;
    std::string status;
    controller::RunState runState = controller::RunState::Idle;
    std::vector<controller::Message> messages;
    controller::MessageAnswer answer = controller::MessageAnswer::No;
    bool resumeOffer = false;
    std::vector<int> endedSlots;
};

class FixedEnvironment : public controller::RunEnvironment {
public:
    void StopDeviceCheck() override { ++deviceCheckStops; }
    void RestartDeviceCheck() override {}
    bool HasProbeHandle() override { return probeHandle; }
    bool TryCloseProbeHandle() override {
        probeHandle = false;
        return true;
    }
    controller::PortBoxes RefreshPortBoxes() override { return boxes; }
    bool FastbootDeviceReady() override { return false; }
    bool SelectPackage(config::ProjectConfig& config, engine::ImageSet& images) override {
        ++packageSelections;
        if (selectedConfig) {
            config = *selectedConfig;
            images = selectedImages;
        }
        return selectResult;
    }
    bool VerifyImageSet(const config::ProjectConfig&, bool, engine::ImageSet& images) override {
        images = verifiedImages;
        return verifyResult;
    }
    void RemoveStagingFolders() override { stagingRemoved = true; }

    controller::PortBoxes boxes;
    bool probeHandle = false;
    int deviceCheckStops = 0;
    bool verifyResult = true;
    engine::ImageSet verifiedImages;
    bool stagingRemoved = false;
    int packageSelections = 0;
    bool selectResult = true;
    std::optional<config::ProjectConfig> selectedConfig;  // set: the second package is chosen
    engine::ImageSet selectedImages;
};

}  // namespace flintcast::testing
