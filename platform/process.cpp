#include "platform/process.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <signal.h>
#include <spawn.h>
#include <cstdlib>
#include <time.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace flintcast::platform {
namespace {

// Builds the child's environment: ours, with the option's variables replacing
// or adding entries.
std::vector<std::string> ChildEnvironment(const LaunchOptions& options) {
    std::map<std::string, std::string> vars;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        const std::string entry(*e);
        const size_t eq = entry.find('=');
        if (eq != std::string::npos) {
            vars[entry.substr(0, eq)] = entry.substr(eq + 1);
        }
    }
    for (const auto& [name, value] : options.environment) {
        vars[name] = value;
    }
    std::vector<std::string> out;
    out.reserve(vars.size());
    for (const auto& [name, value] : vars) {
        out.push_back(name + "=" + value);
    }
    return out;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    out.reserve(texts.size() + 1);
    for (std::string& t : texts) {
        out.push_back(t.data());
    }
    out.push_back(nullptr);
    return out;
}

int Spawn(const std::filesystem::path& program, const LaunchOptions& options, int outputFd = -1) {
    std::vector<std::string> argv{program.string()};
    argv.insert(argv.end(), options.arguments.begin(), options.arguments.end());
    std::vector<std::string> envp = ChildEnvironment(options);
    std::vector<char*> argvPtrs = Pointers(argv);
    std::vector<char*> envPtrs = Pointers(envp);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (outputFd >= 0) {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, outputFd, STDERR_FILENO);
    } else if (options.hidden) {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    if (!options.workingDirectory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory.c_str());
    }
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, argvPtrs.data(), envPtrs.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        errno = rc;
        return -1;
    }
    return pid;
}

int WaitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int LaunchDetached(const std::filesystem::path& program, const LaunchOptions& options) {
    const int pid = Spawn(program, options);
    if (pid > 0) {
        std::thread([pid] { WaitFor(pid); }).detach();
    }
    return pid;
}

int RunAndWait(const std::filesystem::path& program, const LaunchOptions& options) {
    const int pid = Spawn(program, options);
    if (pid <= 0) {
        return -1;
    }
    return WaitFor(pid);
}

namespace {

int64_t MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

int StatusOf(int waitStatus) { return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1; }

}  // namespace

CapturedRun RunCaptured(const std::filesystem::path& program, const LaunchOptions& options, const Clock& clock,
                        uint32_t limitMs, size_t keptOutputBytes) {
    CapturedRun run;
    std::string pattern = (std::filesystem::temp_directory_path() / "flintcast-output-XXXXXX").string();
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        run.startError = errno;
        return run;
    }
    ::unlink(pattern.c_str());
    const int pid = Spawn(program, options, fd);
    if (pid <= 0) {
        run.startError = errno;
        ::close(fd);
        return run;
    }
    run.started = true;
    const int64_t deadline = MonotonicMs() + clock.realTimeoutMs(limitMs);
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            run.exitStatus = StatusOf(status);
            break;
        }
        if (done < 0 && errno != EINTR) break;
        if (MonotonicMs() >= deadline) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            run.timedOut = true;
            break;
        }
        // Polled in short real steps: the limit itself is on the scaled clock.
        timespec pause{0, 2'000'000};
        ::nanosleep(&pause, nullptr);
    }
    ::lseek(fd, 0, SEEK_SET);
    char buffer[4096];
    while (run.output.size() < keptOutputBytes) {
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, keptOutputBytes - run.output.size()));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        run.output.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return run;
}

std::optional<std::filesystem::path> FindOnPath(std::string_view name) {
    const char* path = std::getenv("PATH");
    if (path == nullptr || name.empty() || name.find('/') != std::string_view::npos) return std::nullopt;
    std::string_view rest(path);
    while (!rest.empty()) {
        const size_t colon = rest.find(':');
        const std::string_view folder = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
        if (folder.empty()) continue;
        const std::filesystem::path candidate = std::filesystem::path(folder) / name;
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec) && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::nullopt;
}

int CurrentProcessId() { return static_cast<int>(::getpid()); }

std::optional<std::string> EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

}  // namespace flintcast::platform
