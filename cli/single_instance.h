#pragma once
// One update at a time: commands that touch devices hold the "Downloading_Mutex"
// lock while they run. A second instance is told so and ends with exit code 1.
#include <memory>

#include "config/messages.h"
#include "platform/instance_lock.h"

namespace flintcast::cli {

inline constexpr const char* kDownloadMutexName = "Downloading_Mutex";

// The held lock, or nullptr after showing "Upgrading procedures have been in
// operation!" (the caller then returns kExitFailure).
std::unique_ptr<platform::InstanceLock> AcquireSingleInstance(config::MessageSink& messages);

}  // namespace flintcast::cli
