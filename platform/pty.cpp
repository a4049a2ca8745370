#include "platform/pty.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace flintcast::platform {

PtyPair::PtyPair() {
    int slave = -1;
    char name[256] = {};
    termios tio{};
    cfmakeraw(&tio);
    if (openpty(&master_, &slave, name, &tio, nullptr) != 0)
        throw std::system_error(errno, std::generic_category(), "openpty");
    slavePath_ = name;
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    heldSlave_ = slave;
}

PtyPair::~PtyPair() { close(); }

PtyPair::PtyPair(PtyPair&& other) noexcept
    : master_(std::exchange(other.master_, -1)),
      heldSlave_(std::exchange(other.heldSlave_, -1)),
      slavePath_(std::move(other.slavePath_)) {}

PtyPair& PtyPair::operator=(PtyPair&& other) noexcept {
    if (this != &other) {
        close();
        master_ = std::exchange(other.master_, -1);
        heldSlave_ = std::exchange(other.heldSlave_, -1);
        slavePath_ = std::move(other.slavePath_);
    }
    return *this;
}

void PtyPair::holdSlave(bool hold) {
    if (hold && heldSlave_ < 0) {
        heldSlave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    } else if (!hold && heldSlave_ >= 0) {
        ::close(heldSlave_);
        heldSlave_ = -1;
    }
}

int PtyPair::unreadByClient() const {
    int count = 0;
    if (heldSlave_ < 0 || ::ioctl(heldSlave_, FIONREAD, &count) != 0) return 0;
    return count;
}

void PtyPair::close() {
    if (heldSlave_ >= 0) ::close(heldSlave_);
    if (master_ >= 0) ::close(master_);
    heldSlave_ = master_ = -1;
}

}  // namespace flintcast::platform
