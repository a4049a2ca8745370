// SCSI pass-through is not part of the Windows build yet: opening a disk fails and says so.
#include "platform/scsi_pass_through.h"

namespace flintcast::platform {

std::unique_ptr<ScsiDisk> ScsiDisk::Open(const std::filesystem::path& node, std::string& error, IoctlFunction) {
    error = node.string() + ": SCSI pass-through is not available in the Windows build";
    return nullptr;
}

ScsiDisk::ScsiDisk(int fd, bool socket, IoctlFunction ioctl) : fd_(fd), socket_(socket), ioctl_(std::move(ioctl)) {}

ScsiDisk::~ScsiDisk() = default;

ScsiResult ScsiDisk::Send(const ScsiRequest&, const Clock&) {
    ScsiResult result;
    result.error = "SCSI pass-through is not available in the Windows build";
    return result;
}

ScsiResult ScsiDisk::SendIoctl(const ScsiRequest& request, const Clock& clock) { return Send(request, clock); }
ScsiResult ScsiDisk::SendSocket(const ScsiRequest& request, const Clock& clock) { return Send(request, clock); }

}  // namespace flintcast::platform
