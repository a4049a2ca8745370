#include "engine/diag_mode.h"

#include "engine/diag_exchange.h"
#include "engine/diag_requests.h"

namespace flintcast::engine {
namespace {

int ModeControl(WorkerContext& ctx, diag::Mode mode) {
    const auto request = diag::ModeControlRequest(mode);
    for (int attempt = 0; attempt < kModeControlAttempts; ++attempt) {
        if (attempt > 0) ctx.clock.sleepMs(kModeControlPauseMs);
        if (diag::AcceptsModeControl(DiagExchange(ctx, request, DiagWait::UntilSilence).payload(), mode)) return 0;
    }
    return -1;
}

}  // namespace

int SetDiagOffline(WorkerContext& ctx) { return ModeControl(ctx, diag::Mode::Offline); }

int SetDiagReset(WorkerContext& ctx) { return ModeControl(ctx, diag::Mode::Reset); }

bool SwitchDiagMode(WorkerContext& ctx) {
    if (diag::AcceptsModeSwitch(DiagExchange(ctx, diag::ModeSwitchRequest(), DiagWait::UntilSilence).payload())) {
        ctx.reporter.ShowStatus(LineClass::Ordinary, "switch successfully......");
        return true;
    }
    ctx.reporter.ShowStatus(LineClass::FailureNotice, ctx.ok() ? "Fail to switch mode" : "Fail to switch......");
    return false;
}

}  // namespace flintcast::engine
