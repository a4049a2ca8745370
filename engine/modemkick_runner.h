#pragma once
// Running the outside modem reset tool after a passed run: it sits in the
// staging folder, takes no arguments and answers through the key
// [Project] ExecuteModemkick of the staged Config.ini.
#include <filesystem>

#include "engine/worker_context.h"
#include "platform/native_names.h"

namespace flintcast::engine {

inline constexpr const char* kModemkickProgram = FLINTCAST_NATIVE_NAME("modemkick", "Modemkick.exe");

struct ModemkickPlan {
    std::filesystem::path stagingFolder;  // empty: the temporary path is unknown
    int attempts = 3;
    uint32_t firstWaitMs = 3000;
    uint32_t resultWaitMs = 7000;
};

// The staging folder of this machine (TempFiles).
ModemkickPlan DefaultModemkickPlan();
// The plan for the staging folder the controller handed over (empty: this machine's).
ModemkickPlan ModemkickPlanFor(const std::filesystem::path& stagingFolder);

// Starts the tool up to three times until it reports "100"; true then. Any
// other final value latches its error text.
bool RunModemkick(WorkerContext& ctx, const ModemkickPlan& plan = DefaultModemkickPlan());

}  // namespace flintcast::engine
