#include "platform/device_events.h"

#include <array>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace flintcast::platform {

bool IsSerialNodeName(std::string_view name) {
    return name.size() > 3 && name.substr(0, 3) == "tty" && name.find('/') == std::string_view::npos;
}

DeviceEventWatcher::~DeviceEventWatcher() {
    Stop();
}

bool DeviceEventWatcher::Start(const std::filesystem::path& devDir, Handler handler) {
    Stop();
    std::error_code ec;
    std::filesystem::create_directories(devDir, ec);
    inotifyFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd_ < 0) {
        return false;
    }
    const uint32_t mask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
    if (inotify_add_watch(inotifyFd_, devDir.c_str(), mask) < 0) {
        const int saved = errno;
        ::close(inotifyFd_);
        inotifyFd_ = -1;
        errno = saved;
        return false;
    }
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) {
        const int saved = errno;
        ::close(inotifyFd_);
        inotifyFd_ = -1;
        errno = saved;
        return false;
    }
    handler_ = std::move(handler);
    thread_ = std::thread([this] { run(); });
    return true;
}

void DeviceEventWatcher::Stop() {
    if (thread_.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
        thread_.join();
    }
    if (inotifyFd_ >= 0) {
        ::close(inotifyFd_);
        inotifyFd_ = -1;
    }
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
        wakeFd_ = -1;
    }
}

void DeviceEventWatcher::run() {
    alignas(inotify_event) std::array<char, 8192> buffer{};
    for (;;) {
        std::array<pollfd, 2> fds{{{inotifyFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}}};
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            return;
        }
        if ((fds[0].revents & POLLIN) == 0) {
            continue;
        }
        const ssize_t len = ::read(inotifyFd_, buffer.data(), buffer.size());
        if (len <= 0) {
            continue;
        }
        size_t offset = 0;
        while (offset + sizeof(inotify_event) <= static_cast<size_t>(len)) {
            inotify_event event{};
            std::memcpy(&event, buffer.data() + offset, sizeof event);
            const size_t nameEnd = std::min(static_cast<size_t>(len), offset + sizeof event + event.len);
            std::string name(buffer.data() + offset + sizeof event, nameEnd - offset - sizeof event);
            name.resize(std::strlen(name.c_str()));
            offset += sizeof event + event.len;
            if (!IsSerialNodeName(name) || !handler_) {
                continue;
            }
            const bool arrival = (event.mask & (IN_CREATE | IN_MOVED_TO)) != 0;
            handler_(arrival, name);
        }
    }
}

}  // namespace flintcast::platform
