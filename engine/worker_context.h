#pragma once
// What every protocol module of the worker is built on: the clock, the
// reporting core, the serial channel, the frame layer and the configuration.
#include <cstdint>

#include "config/project_config.h"
#include "engine/frame_layer.h"
#include "engine/reporter.h"
#include "engine/serial_channel.h"
#include "platform/clock.h"

namespace flintcast::engine {

struct WorkerContext {
    platform::Clock& clock;
    Reporter& reporter;
    SerialChannel& serial;
    FrameLayer& frames;
    const config::ProjectConfig& config;
    int32_t projectType;

    // Every guarded step runs only while no error (or stop request) is latched.
    bool ok() const { return reporter.ok(); }
};

}  // namespace flintcast::engine
