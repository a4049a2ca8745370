#include "sim/control_channel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include <fmt/format.h>

#include "platform/clock.h"

namespace flintcast::sim {
namespace {

constexpr size_t kMaxCommandBytes = 4096;
constexpr size_t kMaxClients = 16;
constexpr uint32_t kAnswerWriteMs = 2000;
constexpr uint32_t kClientAnswerMs = 60000;

sockaddr_un Address(const std::filesystem::path& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const auto s = path.string();
    if (s.size() >= sizeof(addr.sun_path))
        throw std::runtime_error(fmt::format("control socket path too long ({} bytes): {}", s.size(), s));
    std::memcpy(addr.sun_path, s.c_str(), s.size() + 1);
    return addr;
}

}  // namespace

ControlServer::ControlServer(const std::filesystem::path& root) : path_(root / kControlSocketName) {
    const auto addr = Address(path_);
    std::error_code ec;
    std::filesystem::remove(path_, ec);
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) throw std::runtime_error(fmt::format("control socket: {}", std::strerror(errno)));
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0 || ::listen(fd_, 8) != 0) {
        const int err = errno;
        ::close(fd_);
        fd_ = -1;
        throw std::runtime_error(fmt::format("control socket {}: {}", path_.string(), std::strerror(err)));
    }
}

ControlServer::~ControlServer() {
    for (const auto& c : clients_) ::close(c.fd);
    if (fd_ >= 0) ::close(fd_);
    std::error_code ec;
    std::filesystem::remove(path_, ec);
}

void ControlServer::Accept() {
    const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (client < 0) return;
    if (clients_.size() >= kMaxClients) {
        ::close(client);
        return;
    }
    clients_.push_back({client, {}});
}

std::vector<int> ControlServer::clientFds() const {
    std::vector<int> fds;
    for (const auto& c : clients_) fds.push_back(c.fd);
    return fds;
}

void ControlServer::Close(size_t index) {
    ::close(clients_[index].fd);
    clients_.erase(clients_.begin() + static_cast<long>(index));
}

void ControlServer::Serve(int fd, const Handler& handle) {
    size_t index = 0;
    while (index < clients_.size() && clients_[index].fd != fd) ++index;
    if (index == clients_.size()) return;
    auto& line = clients_[index].line;
    char buf[512];
    const ssize_t n = ::read(fd, buf, sizeof(buf));
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n > 0) line.append(buf, static_cast<size_t>(n));
    const auto nl = line.find('\n');
    if (nl == std::string::npos && n > 0 && line.size() < kMaxCommandBytes) return;  // more to come
    std::string answer;
    if (line.size() >= kMaxCommandBytes && nl == std::string::npos) {
        answer = "ERROR command too long";
    } else if (nl == std::string::npos && line.empty()) {
        Close(index);  // the client left without a command
        return;
    } else {
        answer = handle(line.substr(0, nl));
    }
    if (answer.empty() || answer.back() != '\n') answer.push_back('\n');
    // The answer goes out in one go; a client that does not read it loses what does not fit.
    size_t done = 0;
    while (done < answer.size()) {
        const ssize_t w = ::send(fd, answer.data() + done, answer.size() - done, MSG_NOSIGNAL);
        if (w > 0) {
            done += static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, platform::SystemClock().realTimeoutMs(kAnswerWriteMs)) > 0) continue;
        }
        break;
    }
    Close(index);
}

int RunControlClient(const std::filesystem::path& root, const std::string& command) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 2;
    sockaddr_un addr{};
    try {
        addr = Address(root / kControlSocketName);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "flintcast-devsim: %s\n", e.what());
        ::close(fd);
        return 2;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0) {
        std::fprintf(stderr, "flintcast-devsim: no simulator answers at %s: %s\n",
                     (root / kControlSocketName).c_str(), std::strerror(errno));
        ::close(fd);
        return 2;
    }
    const std::string line = command + "\n";
    if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
        ::close(fd);
        return 2;
    }
    std::string answer;
    char buf[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, platform::SystemClock().realTimeoutMs(kClientAnswerMs)) <= 0) break;
        const ssize_t n = ::read(fd, buf, sizeof(buf));
        if (n <= 0) break;
        answer.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    const bool ok = answer.rfind("OK", 0) == 0;
    if (!ok) {
        // A refusal ("ERROR ...") or no answer at all: the reason on the error stream.
        while (!answer.empty() && answer.back() == '\n') answer.pop_back();
        std::fprintf(stderr, "flintcast-devsim: %s\n", answer.empty() ? "no answer" : answer.c_str());
        return 1;
    }
    // The state is pure JSON, so scripts can read it as it comes; its status is the exit code.
    if (command == "state" && answer.rfind("OK ", 0) == 0) answer.erase(0, 3);
    std::fwrite(answer.data(), 1, answer.size(), stdout);
    return 0;
}

}  // namespace flintcast::sim
