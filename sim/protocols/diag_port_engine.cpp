#include "sim/protocols/diag_port_engine.h"

#include "sim/protocols/diag_handler.h"
#include "sim/protocols/dmss_handler.h"
#include "sim/protocols/streaming_handler.h"

namespace flintcast::sim {
namespace {

std::unique_ptr<ProtocolHandler> MakeHandler(DeviceModel& model, Personality personality,
                                             ProtocolFaultHooks* faults) {
    switch (personality) {
    case Personality::Download: return std::make_unique<DmssHandler>(model, faults);
    case Personality::Programmer: return std::make_unique<StreamingHandler>(model, faults);
    case Personality::Diagnostic: break;
    }
    return std::make_unique<DiagHandler>(model, faults);
}

}  // namespace

DiagPortEngine::DiagPortEngine(DeviceModel& model, Personality personality, ProtocolFaultHooks* faults)
    : model_(model), personality_(personality) {
    std::lock_guard lock(model_.mutex);
    handler_ = MakeHandler(model_, personality_, faults);
}

DiagPortEngine::~DiagPortEngine() = default;

EngineOutput DiagPortEngine::Feed(std::span<const uint8_t> bytes) {
    EngineOutput out;
    std::lock_guard lock(model_.mutex);
    handler_->Feed(bytes, out);
    return out;
}

EngineOutput DiagPortEngine::OnIdle() {
    EngineOutput out;
    std::lock_guard lock(model_.mutex);
    handler_->OnIdle(out);
    return out;
}

bool DiagPortEngine::WantsIdle() const {
    std::lock_guard lock(model_.mutex);
    return handler_->WantsIdle();
}

}  // namespace flintcast::sim
