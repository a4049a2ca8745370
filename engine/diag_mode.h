#pragma once
// The DIAG requests that change the unit's mode: offline and reset through mode control
// (asked up to ten times, a second apart), and the USB switch into the diagnostic mode that
// makes the RF NV items reachable.
#include <cstdint>

#include "engine/worker_context.h"

namespace flintcast::engine {

inline constexpr int kModeControlAttempts = 10;
inline constexpr uint32_t kModeControlPauseMs = 1000;

// 0 when the unit carried the mode out, -1 when it never said so.
int SetDiagOffline(WorkerContext& ctx);
int SetDiagReset(WorkerContext& ctx);
// Posts "switch successfully......", or a failure notice; true when the unit accepted.
bool SwitchDiagMode(WorkerContext& ctx);

}  // namespace flintcast::engine
