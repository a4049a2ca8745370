// flintcast-wine-bridge: makes a running flintcast-devsim's serial ports the COM ports of a Wine
// prefix, and keeps them so while the unit re-enumerates.
//
//   flintcast-wine-bridge --root DIR --prefix WINEPREFIX --registrar port_registrar.exe [--first-com N]
//
// It watches <root>/dev (inotify). For every tty there it links <prefix>/dosdevices/comN to the
// tty's pseudo-terminal and registers the port through the registrar, a small Windows program
// it keeps running under Wine, as a USB serial port of the ports class with the unit's hardware
// id and the name "<interface> (COMN)". Ports that leave are unregistered, then unlinked. One
// line goes to standard output for every change, and "bridge ready" after the first pass, so a
// test can wait for them. SIGINT or SIGTERM remove what it made and end it.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/device_events.h"
#include "platform/port_scanner.h"
#include "tests/wine/bridge/com_links.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using flintcast::winebridge::ComMap;

// The registrar under Wine, spoken to through a pipe: one command line, one answer line.
class Registrar {
public:
    bool Start(const fs::path& exe, const fs::path& prefix) {
        int toChild[2], fromChild[2];
        if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
        ::setenv("WINEPREFIX", prefix.c_str(), 1);
        if (!std::getenv("WINEDEBUG")) ::setenv("WINEDEBUG", "-all", 1);
        std::string program = "wine", path = exe.string();
        char* argv[] = {program.data(), path.data(), nullptr};
        const int rc = posix_spawnp(&pid_, "wine", &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(toChild[0]);
        ::close(fromChild[1]);
        if (rc != 0) {
            ::close(toChild[1]);
            ::close(fromChild[0]);
            return false;
        }
        in_ = ::fdopen(toChild[1], "w");
        out_ = ::fdopen(fromChild[0], "r");
        return in_ && out_;
    }
    // Sends one command and returns the answer ("ok" or "error ..."); empty when the registrar is gone.
    std::string Send(const std::string& command) {
        if (!in_ || !out_) return {};
        std::fprintf(in_, "%s\n", command.c_str());
        std::fflush(in_);
        char line[1024];
        if (!std::fgets(line, sizeof(line), out_)) return {};
        std::string answer(line);
        while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
        return answer;
    }
    ~Registrar() {
        if (in_) std::fclose(in_);  // end of input ends it
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
        if (out_) std::fclose(out_);
    }

private:
    pid_t pid_ = -1;
    FILE* in_ = nullptr;
    FILE* out_ = nullptr;
};

struct Options {
    fs::path root, prefix, registrar;
    int firstCom = 10;
};

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--root") o.root = argv[i + 1];
        else if (key == "--prefix") o.prefix = argv[i + 1];
        else if (key == "--registrar") o.registrar = argv[i + 1];
        else if (key == "--first-com") o.firstCom = std::atoi(argv[i + 1]);
        else return false;
    }
    return argc % 2 == 1 && !o.root.empty() && !o.prefix.empty() && !o.registrar.empty() && o.firstCom >= 3 &&
           o.firstCom <= 200;
}

class Bridge {
public:
    Bridge(const Options& o, Registrar& registrar) : o_(o), registrar_(registrar) {}

    // Links left by a bridge that was killed point at pseudo-terminals: take them away first.
    void RemoveLeftovers() {
        std::error_code ec;
        for (int com = o_.firstCom; com <= 255; ++com) {
            const fs::path link = Link(com);
            const auto target = fs::read_symlink(link, ec);
            if (!ec && target.string().rfind("/dev/pts/", 0) == 0) fs::remove(link, ec);
        }
        Report("clear", registrar_.Send("clear"));
    }

    // `left` names the ttys that were removed since the last pass: a port that left and came back
    // under its old name and even its old pseudo-terminal is still a new device.
    void Sync(const std::set<std::string>& left) {
        const ComMap wanted = Wanted();
        ComMap current = current_;
        for (auto it = current.begin(); it != current.end();) {
            if (left.count(it->second.tty)) it = current.erase(it);
            else ++it;
        }
        auto changes = flintcast::winebridge::Compare(current, wanted);
        for (const auto& [com, port] : current_)
            if (!current.count(com)) changes.remove.push_back(com);
        for (int com : changes.remove) {
            Report("remove COM" + std::to_string(com), registrar_.Send("remove\tCOM" + std::to_string(com)));
            std::error_code ec;
            fs::remove(Link(com), ec);
            std::printf("removed COM%d (%s)\n", com, current_[com].tty.c_str());
            current_.erase(com);
        }
        if (changes.add.empty()) return std::fflush(stdout), void();
        const auto ports = flintcast::platform::ScanUsbSerialPorts(o_.root).value_or(std::vector<flintcast::platform::UsbSerialPort>{});
        for (int com : changes.add) {
            const auto& port = wanted.at(com);
            std::error_code ec;
            fs::remove(Link(com), ec);
            fs::create_symlink(port.target, Link(com), ec);
            if (ec) {
                std::printf("error linking COM%d to %s: %s\n", com, port.target.c_str(), ec.message().c_str());
                continue;
            }
            current_[com] = port;
            std::string name = "USB Serial Port";
            for (const auto& p : ports) {
                if (p.name != port.tty) continue;
                if (!p.interfaceString.empty()) name = p.interfaceString;
                const std::string comName = "COM" + std::to_string(com);
                Report("add " + comName, registrar_.Send("add\t" + comName + "\t" + p.hardwareId() + "\t" + name + " (" +
                                                         comName + ")\t" + p.product));
            }
            std::printf("added COM%d -> %s (%s, %s)\n", com, port.target.c_str(), port.tty.c_str(), name.c_str());
        }
        std::fflush(stdout);
    }

    void RemoveAll() {
        for (auto& [com, port] : current_) {
            registrar_.Send("remove\tCOM" + std::to_string(com));
            std::error_code ec;
            fs::remove(Link(com), ec);
        }
        current_.clear();
    }

private:
    fs::path Link(int com) const { return o_.prefix / "dosdevices" / ("com" + std::to_string(com)); }

    ComMap Wanted() const {
        ComMap wanted;
        std::error_code ec;
        for (auto it = fs::directory_iterator(o_.root / "dev", ec); !ec && it != fs::directory_iterator();
             it.increment(ec)) {
            const std::string tty = it->path().filename().string();
            const auto com = flintcast::winebridge::ComNumberFor(tty, o_.firstCom);
            std::error_code linkError;
            const fs::path target = fs::read_symlink(it->path(), linkError);
            if (com && !linkError) wanted[*com] = {tty, target.string()};
        }
        return wanted;
    }

    static void Report(const std::string& what, const std::string& answer) {
        if (answer != "ok") std::printf("registrar: %s: %s\n", what.c_str(), answer.empty() ? "no answer" : answer.c_str());
    }

    const Options& o_;
    Registrar& registrar_;
    ComMap current_;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: flintcast-wine-bridge --root DIR --prefix WINEPREFIX --registrar EXE [--first-com N]\n");
        return 2;
    }
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);  // every thread started below inherits it

    Registrar registrar;
    if (!registrar.Start(options.registrar, options.prefix)) {
        std::fprintf(stderr, "flintcast-wine-bridge: cannot start wine %s\n", options.registrar.c_str());
        return 1;
    }
    Bridge bridge(options, registrar);
    bridge.RemoveLeftovers();

    std::mutex mutex;
    std::condition_variable wake;
    bool changed = true, stop = false;
    std::set<std::string> left;
    flintcast::platform::DeviceEventWatcher watcher;
    if (!watcher.Start(options.root / "dev", [&](bool arrival, const std::string& tty) {
            std::lock_guard lock(mutex);
            changed = true;
            if (!arrival) left.insert(tty);
            wake.notify_one();
        })) {
        std::fprintf(stderr, "flintcast-wine-bridge: cannot watch %s/dev: %s\n", options.root.c_str(), std::strerror(errno));
        return 1;
    }
    std::thread signals([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        std::lock_guard lock(mutex);
        stop = true;
        wake.notify_one();
    });
    bool first = true;
    for (;;) {
        std::set<std::string> leftNow;
        {
            std::unique_lock lock(mutex);
            wake.wait(lock, [&] { return changed || stop; });
            if (stop) break;
            changed = false;
            leftNow.swap(left);
        }
        bridge.Sync(leftNow);  // events that arrive meanwhile set `changed` again: nothing is missed
        if (first) {
            std::printf("bridge ready\n");
            std::fflush(stdout);
            first = false;
        }
    }
    watcher.Stop();
    bridge.RemoveAll();
    signals.join();
    return 0;
}
