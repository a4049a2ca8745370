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
constexpr uint32_t kClientReadMs = 2000;
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
    if (fd_ >= 0) ::close(fd_);
    std::error_code ec;
    std::filesystem::remove(path_, ec);
}

void ControlServer::Serve(const std::function<std::string(const std::string&)>& handle) {
    const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) return;
    std::string line;
    char buf[512];
    while (line.find('\n') == std::string::npos && line.size() < kMaxCommandBytes) {
        pollfd p{client, POLLIN, 0};
        if (::poll(&p, 1, platform::SystemClock().realTimeoutMs(kClientReadMs)) <= 0) break;
        const ssize_t n = ::read(client, buf, sizeof(buf));
        if (n <= 0) break;
        line.append(buf, static_cast<size_t>(n));
    }
    if (const auto nl = line.find('\n'); nl != std::string::npos) line.resize(nl);
    std::string answer = line.size() >= kMaxCommandBytes ? "ERROR command too long" : handle(line);
    if (answer.empty() || answer.back() != '\n') answer.push_back('\n');
    size_t done = 0;
    while (done < answer.size()) {
        const ssize_t w = ::write(client, answer.data() + done, answer.size() - done);
        if (w <= 0) break;
        done += static_cast<size_t>(w);
    }
    ::close(client);
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
    if (::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
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
    std::fwrite(answer.data(), 1, answer.size(), stdout);
    return answer.rfind("OK", 0) == 0 ? 0 : 1;
}

}  // namespace flintcast::sim
