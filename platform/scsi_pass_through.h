#pragma once
// SCSI pass-through to a disk node. On a real device tree the node is a block device and the
// request goes out with the SG_IO ioctl. On a simulated tree (a device root other than "/") the
// node is a Unix-domain socket and the same request travels over it (platform/scsi_wire.h):
// everything above this last hop is the same code.
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/scsi_wire.h"

namespace flintcast::platform {

// The ioctl call SG_IO goes through; tests put their own in to see the request as the kernel would.
using IoctlFunction = std::function<int(int fd, unsigned long request, void* argument)>;

struct ScsiResult {
    bool opened = false;     // the device could be opened (where opening and sending are one call)
    bool delivered = false;  // the request reached the device and it answered
    std::string error;       // why not, when it did not
    ScsiAnswer answer;
};

class ScsiDisk {
public:
    // Opens the node for reading and writing; nullptr and `error` when it cannot be opened.
    static std::unique_ptr<ScsiDisk> Open(const std::filesystem::path& node, std::string& error,
                                          IoctlFunction ioctl = {});
    ~ScsiDisk();
    ScsiDisk(const ScsiDisk&) = delete;
    ScsiDisk& operator=(const ScsiDisk&) = delete;

    // Sends one request and waits for its answer, at most the request's time-out (tool time).
    ScsiResult Send(const ScsiRequest& request, const Clock& clock);

    bool overSocket() const { return socket_; }

private:
    ScsiDisk(int fd, bool socket, IoctlFunction ioctl);
    ScsiResult SendIoctl(const ScsiRequest& request, const Clock& clock);
    ScsiResult SendSocket(const ScsiRequest& request, const Clock& clock);

    int fd_ = -1;
    bool socket_ = false;
    IoctlFunction ioctl_;
};

}  // namespace flintcast::platform
