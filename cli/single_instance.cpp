#include "cli/single_instance.h"

namespace flintcast::cli {

std::unique_ptr<platform::InstanceLock> AcquireSingleInstance(config::MessageSink& messages) {
    auto lock = platform::InstanceLock::TryAcquire(kDownloadMutexName);
    if (!lock) messages.show(config::Message{"", "Upgrading procedures have been in operation!"});
    return lock;
}

}  // namespace flintcast::cli
