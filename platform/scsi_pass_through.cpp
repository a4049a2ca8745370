#include "platform/scsi_pass_through.h"

#include <fcntl.h>
#include <poll.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fmt/format.h>

#include "platform/paths.h"

namespace flintcast::platform {
namespace {

bool IsSimulatedSocket(const std::filesystem::path& node) {
    struct stat st{};
    return DeviceRoot() != "/" && ::stat(node.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

int ConnectSocket(const std::filesystem::path& node) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = node.string();
    if (path.size() >= sizeof(addr.sun_path)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

// Tool milliseconds left before `deadline` on `clock`, 0 once it has passed.
uint32_t Remaining(const Clock& clock, uint32_t deadline) {
    const auto left = static_cast<int32_t>(deadline - clock.tickMs());
    return left > 0 ? static_cast<uint32_t>(left) : 0;
}

}  // namespace

std::unique_ptr<ScsiDisk> ScsiDisk::Open(const std::filesystem::path& node, std::string& error, IoctlFunction ioctl) {
    const bool socket = IsSimulatedSocket(node);
    const int fd = socket ? ConnectSocket(node) : ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = fmt::format("cannot open {}: {}", node.string(), std::strerror(errno));
        return nullptr;
    }
    if (!ioctl) ioctl = [](int f, unsigned long request, void* argument) { return ::ioctl(f, request, argument); };
    return std::unique_ptr<ScsiDisk>(new ScsiDisk(fd, socket, std::move(ioctl)));
}

ScsiDisk::ScsiDisk(int fd, bool socket, IoctlFunction ioctl) : fd_(fd), socket_(socket), ioctl_(std::move(ioctl)) {}

ScsiDisk::~ScsiDisk() {
    if (fd_ >= 0) ::close(fd_);
}

ScsiResult ScsiDisk::Send(const ScsiRequest& request, const Clock& clock) {
    return socket_ ? SendSocket(request, clock) : SendIoctl(request, clock);
}

ScsiResult ScsiDisk::SendIoctl(const ScsiRequest& request, const Clock& clock) {
    ScsiResult result;
    if (request.cdb.empty() || request.cdb.size() > kScsiMaxCdb || request.senseCapacity > kScsiMaxSense ||
        (request.direction == ScsiDirection::ToDevice && request.dataOut.size() != request.transferLength)) {
        result.error = "request does not fit a pass-through";
        return result;
    }
    std::vector<uint8_t> cdb = request.cdb;
    std::vector<uint8_t> sense(request.senseCapacity, 0);
    std::vector<uint8_t> data = request.direction == ScsiDirection::ToDevice
                                    ? request.dataOut
                                    : std::vector<uint8_t>(request.transferLength, 0);
    sg_io_hdr_t hdr{};
    hdr.interface_id = 'S';
    switch (request.direction) {
        case ScsiDirection::None: hdr.dxfer_direction = SG_DXFER_NONE; break;
        case ScsiDirection::FromDevice: hdr.dxfer_direction = SG_DXFER_FROM_DEV; break;
        case ScsiDirection::ToDevice: hdr.dxfer_direction = SG_DXFER_TO_DEV; break;
    }
    hdr.cmd_len = static_cast<unsigned char>(cdb.size());
    hdr.mx_sb_len = request.senseCapacity;
    hdr.dxfer_len = request.direction == ScsiDirection::None ? 0 : request.transferLength;
    hdr.dxferp = hdr.dxfer_len ? data.data() : nullptr;
    hdr.cmdp = cdb.data();
    hdr.sbp = sense.empty() ? nullptr : sense.data();
    hdr.timeout = static_cast<unsigned int>(clock.realTimeoutMs(request.timeoutMs));
    if (ioctl_(fd_, SG_IO, &hdr) != 0) {
        result.error = fmt::format("SG_IO: {}", std::strerror(errno));
        return result;
    }
    if (hdr.host_status != 0 || (hdr.driver_status & 0x0f) != 0) {
        result.error = fmt::format("SG_IO: host status 0x{:02x}, driver status 0x{:02x}", hdr.host_status,
                                   hdr.driver_status);
        return result;
    }
    result.delivered = true;
    result.answer.status = hdr.status;
    result.answer.sense.assign(sense.begin(), sense.begin() + std::min<size_t>(hdr.sb_len_wr, sense.size()));
    if (request.direction == ScsiDirection::FromDevice) {
        const size_t resid = static_cast<size_t>(std::clamp<int>(hdr.resid, 0, static_cast<int>(data.size())));
        data.resize(data.size() - resid);
        result.answer.data = std::move(data);
    }
    return result;
}

ScsiResult ScsiDisk::SendSocket(const ScsiRequest& request, const Clock& clock) {
    ScsiResult result;
    const auto bytes = EncodeScsiRequest(request);
    if (bytes.empty()) {
        result.error = "request does not fit a pass-through";
        return result;
    }
    const uint32_t deadline = clock.tickMs() + request.timeoutMs;
    for (size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            result.error = fmt::format("send: {}", std::strerror(errno));
            return result;
        }
        sent += static_cast<size_t>(n);
    }
    std::vector<uint8_t> received;
    for (;;) {
        const auto decoded = DecodeScsiAnswer(received, request.transferLength);
        if (decoded.outcome == WireDecode::Complete) {
            result.delivered = true;
            result.answer = decoded.value;
            if (result.answer.sense.size() > request.senseCapacity) result.answer.sense.resize(request.senseCapacity);
            return result;
        }
        if (decoded.outcome == WireDecode::Malformed) {
            result.error = "malformed answer from the device";
            return result;
        }
        const uint32_t left = Remaining(clock, deadline);
        pollfd pfd{fd_, POLLIN, 0};
        const int ready = left == 0 ? 0 : ::poll(&pfd, 1, clock.realTimeoutMs(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) {
            result.error = fmt::format("poll: {}", std::strerror(errno));
            return result;
        }
        if (ready == 0) {
            result.error = "the device did not answer within the time-out";
            return result;
        }
        uint8_t chunk[4096];
        const ssize_t n = ::recv(fd_, chunk, sizeof(chunk), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            result.error = n == 0 ? std::string("the device closed the connection") : fmt::format("recv: {}", std::strerror(errno));
            return result;
        }
        received.insert(received.end(), chunk, chunk + n);
    }
}

}  // namespace flintcast::platform
