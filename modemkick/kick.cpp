#include "modemkick/kick.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/clock.h"
#include "platform/ini_file.h"

namespace flintcast::modemkick {
namespace {

constexpr const char* kControlSocket = "devsim.sock";
constexpr uint32_t kAnswerLimitMs = 5000;

}  // namespace

int ResetModem(const std::filesystem::path& deviceRoot) {
    const std::string path = (deviceRoot / kControlSocket).string();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        return kNoModemPort;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return kResetFailed;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return kNoModemPort;  // no device answers at this root
    }
    const std::string command = "reset\n";
    if (::write(fd, command.data(), command.size()) != static_cast<ssize_t>(command.size())) {
        ::close(fd);
        return kResetFailed;
    }
    std::string answer;
    char buffer[512];
    while (answer.find('\n') == std::string::npos && answer.size() < sizeof buffer) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, platform::SystemClock().realTimeoutMs(kAnswerLimitMs)) <= 0) {
            break;
        }
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        answer.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return answer.rfind("OK", 0) == 0 ? kResetDone : kResetFailed;
}

bool WriteResult(const std::filesystem::path& configPath, int code) {
    auto ini = platform::IniFile::Load(configPath);
    if (!ini) {
        return false;
    }
    return ini->writeInteger("Project", "ExecuteModemkick", code) && ini->save(configPath);
}

}  // namespace flintcast::modemkick
