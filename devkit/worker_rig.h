#pragma once
// A worker's reporting, serial channel and frame layer on a fast clock, with
// every posted line recorded, and a device directory that tests steer.
#include <mutex>
#include <string>
#include <vector>

#include "config/project_config.h"
#include "engine/device_directory.h"
#include "engine/frame_layer.h"
#include "engine/reporter.h"
#include "engine/serial_channel.h"
#include "engine/worker_context.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "devkit/fake_directory.h"
#include "devkit/temp_dir.h"

namespace flintcast::testing {

struct Line {
    int32_t code;
    int32_t kind;
    std::string text;
};

class WorkerRig {
public:
    explicit WorkerRig(int32_t project = 46, double scale = 0.002)
        : clock(scale), serial(clock, reporter), frames(clock, reporter, serial),
          ctx{clock, reporter, serial, frames, config, project} {
        init(project);
    }
    // A rig on a manual clock: the worker's waits pass at once and are counted exactly.
    WorkerRig(int32_t project, platform::Clock::Manual manual)
        : clock(manual), serial(clock, reporter), frames(clock, reporter, serial),
          ctx{clock, reporter, serial, frames, config, project} {
        init(project);
    }
    ~WorkerRig() { platform::ResetDeviceRoot(); }
    WorkerRig(const WorkerRig&) = delete;
    WorkerRig& operator=(const WorkerRig&) = delete;

private:
    void init(int32_t project) {
        platform::SetDeviceRoot(root.path());
        serial.projectType = project;
        config.projectType = project;
        engine::ReporterHooks hooks;
        hooks.OnStatus = [this](int32_t, int32_t code, int32_t kind, const std::string& text) {
            std::lock_guard lock(mutex_);
            lines_.push_back({code, kind, text});
        };
        hooks.OnErrorText = [this](int32_t, const std::string& text) {
            std::lock_guard lock(mutex_);
            errors_.push_back(text);
        };
        reporter.setHooks(hooks);
    }

public:
    std::vector<Line> lines() {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    std::vector<std::string> texts() {
        std::vector<std::string> out;
        for (const auto& l : lines()) out.push_back(l.text);
        return out;
    }
    std::vector<std::string> errors() {
        std::lock_guard lock(mutex_);
        return errors_;
    }
    bool posted(const std::string& text) {
        for (const auto& l : lines()) {
            if (l.text == text) return true;
        }
        return false;
    }

    TempDir root;
    platform::Clock clock;
    engine::Reporter reporter;
    engine::SerialChannel serial;
    engine::FrameLayer frames;
    config::ProjectConfig config;
    engine::WorkerContext ctx;
    FakeDirectory directory;

private:
    std::mutex mutex_;
    std::vector<Line> lines_;
    std::vector<std::string> errors_;
};

}  // namespace flintcast::testing
