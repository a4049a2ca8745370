#include "tests/support/sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "codec/hdlc.h"
#include "devkit/wait_until.h"

extern char** environ;

namespace flintcast::simtest {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

fs::path DevsimPath() { return fs::path(FLINTCAST_BIN_DIR) / "flintcast-devsim"; }

namespace {

// Runs a program with `args`, optionally capturing its stdout; returns the pid. The child gets
// SIGTERM when the test program dies, so a crashed test leaves no simulator behind.
pid_t Spawn(const std::vector<std::string>& args, int* stdoutFd) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int pipeFds[2] = {-1, -1};
    if (stdoutFd != nullptr && ::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);
        if (stdoutFd != nullptr) ::dup2(pipeFds[1], 1);
        ::execve(argv[0], argv.data(), environ);
        ::_exit(127);
    }
    if (stdoutFd != nullptr) {
        ::close(pipeFds[1]);
        *stdoutFd = pipeFds[0];
    }
    return pid;
}

}  // namespace

SimProcess::SimProcess(std::vector<std::string> extraArgs, const fs::path& stateDir)
    : state_(stateDir.empty() ? dir_.path() / "state" : stateDir) {
    std::vector<std::string> args{DevsimPath().string(), "--root", root().string(), "--state", state_.string()};
    if (std::find(extraArgs.begin(), extraArgs.end(), "--time-scale") == extraArgs.end()) {
        args.push_back("--time-scale");
        args.push_back("0.01");
    }
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    pid_ = Spawn(args, &out_);
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    std::string text;
    while (text.find('\n') == std::string::npos && Clock::now() < deadline) {
        pollfd p{out_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char buf[512];
        const ssize_t n = ::read(out_, buf, sizeof(buf));
        if (n <= 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    if (const auto nl = text.find('\n'); nl != std::string::npos) readyLine_ = text.substr(0, nl);
}

SimProcess::~SimProcess() {
    Terminate();
    if (out_ >= 0) ::close(out_);
}

int SimProcess::Terminate() {
    if (pid_ <= 0) return -1;
    ::kill(pid_, SIGTERM);
    int status = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int SimProcess::Ctl(const std::string& command, std::string* output) const {
    std::vector<std::string> args{DevsimPath().string(), "ctl", root().string()};
    std::istringstream words(command);
    for (std::string w; words >> w;) args.push_back(w);
    int fd = -1;
    const pid_t pid = Spawn(args, &fd);
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof(buf))) > 0;) text.append(buf, static_cast<size_t>(n));
    ::close(fd);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (output != nullptr) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

nlohmann::json SimProcess::StateFile() const {
    std::ifstream in(state_ / "state.json");
    std::stringstream ss;
    ss << in.rdbuf();
    return nlohmann::json::parse(ss.str(), nullptr, false);
}

std::vector<std::string> SimProcess::DevEntries() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::directory_iterator(root() / "dev", ec); !ec && it != fs::directory_iterator(); it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool SimProcess::WaitForDev(const std::vector<std::string>& names, std::chrono::milliseconds limit) const {
    auto want = names;
    std::sort(want.begin(), want.end());
    return testing::WaitUntil([&] { return DevEntries() == want; }, limit);
}

PortClient::PortClient(const fs::path& dev) {
    fd_ = ::open(dev.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) throw std::runtime_error("cannot open " + dev.string());
    termios tio{};
    ::tcgetattr(fd_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd_, TCSANOW, &tio);
}

PortClient::~PortClient() {
    if (fd_ >= 0) ::close(fd_);
}

void PortClient::Write(const std::string& bytes) {
    if (::write(fd_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("short write");
}

void PortClient::Write(const std::vector<uint8_t>& bytes) { Write(std::string(bytes.begin(), bytes.end())); }

std::string PortClient::ReadUntil(const std::string& until, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (pending_.find(until) == std::string::npos && Clock::now() < deadline) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0) continue;
        char buf[4096];
        const ssize_t n = ::read(fd_, buf, sizeof(buf));
        if (n > 0) pending_.append(buf, static_cast<size_t>(n));
    }
    const auto at = pending_.find(until);
    if (at == std::string::npos) return std::exchange(pending_, {});
    std::string out = pending_.substr(0, at + until.size());
    pending_.erase(0, at + until.size());
    return out;
}

std::string PortClient::ReadFor(std::chrono::milliseconds window) {
    const auto deadline = Clock::now() + window;
    while (Clock::now() < deadline) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 5) <= 0) continue;
        char buf[4096];
        const ssize_t n = ::read(fd_, buf, sizeof(buf));
        if (n > 0) pending_.append(buf, static_cast<size_t>(n));
    }
    return std::exchange(pending_, {});
}

std::optional<std::vector<uint8_t>> PortClient::ReadFrame(std::chrono::milliseconds limit) {
    // Skip leading flags, then read to the closing one.
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        while (!pending_.empty() && static_cast<uint8_t>(pending_.front()) == hdlc::kFlag) pending_.erase(0, 1);
        const auto end = pending_.find(static_cast<char>(hdlc::kFlag));
        if (end != std::string::npos) {
            std::vector<uint8_t> frame(pending_.begin(), pending_.begin() + static_cast<long>(end) + 1);
            pending_.erase(0, end + 1);
            return frame;
        }
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0) continue;
        char buf[4096];
        const ssize_t n = ::read(fd_, buf, sizeof(buf));
        if (n > 0) pending_.append(buf, static_cast<size_t>(n));
    }
    return std::nullopt;
}

std::vector<uint8_t> Frame(const std::vector<uint8_t>& payload) { return hdlc::EncodeFrame(payload, false); }

std::optional<std::vector<uint8_t>> Unframe(const std::vector<uint8_t>& frame) {
    hdlc::FrameDecoder decoder(false);
    size_t used = 0;
    if (decoder.feed(frame, used) != hdlc::FrameDecoder::Status::Frame) return std::nullopt;
    const auto payload = decoder.payload();
    return std::vector<uint8_t>(payload.begin(), payload.end());
}

}  // namespace flintcast::simtest
