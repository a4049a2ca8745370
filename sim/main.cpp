// flintcast-devsim: a virtual data card on pseudo-terminals.
//   flintcast-devsim --root DIR --state DIR [--profile FILE|android] [--time-scale F] [--faults SPEC]
//   flintcast-devsim ctl DIR unplug|plug|reset|state|personality X|fault SPEC|clear-faults
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/control_channel.h"
#include "sim/device.h"
#include "sim/profile.h"

namespace {

constexpr const char* kUsage =
    "usage: flintcast-devsim --root DIR --state DIR [--profile FILE|android] [--time-scale F] [--faults SPEC]\n"
    "       flintcast-devsim ctl DIR unplug|plug|reset|state|personality normal|download|programmer|fastboot|fault SPEC|clear-faults\n";

struct Options {
    std::string root;
    std::string state;
    std::string profile;
    std::string faults;
    std::optional<double> timeScale;
};

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error) {
    Options o;
    for (size_t i = 0; i < args.size(); ++i) {
        const auto& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string scale;
        if (a == "--root") {
            if (!value(o.root)) return std::nullopt;
        } else if (a == "--state") {
            if (!value(o.state)) return std::nullopt;
        } else if (a == "--profile") {
            if (!value(o.profile)) return std::nullopt;
        } else if (a == "--faults") {
            if (!value(o.faults)) return std::nullopt;
        } else if (a == "--time-scale") {
            if (!value(scale)) return std::nullopt;
            o.timeScale = flintcast::platform::ParseTimeScale(scale);
            if (!o.timeScale) {
                error = "--time-scale needs a positive number";
                return std::nullopt;
            }
        } else {
            error = "unknown argument " + a;
            return std::nullopt;
        }
    }
    if (o.root.empty() || o.state.empty()) {
        error = "--root and --state are required";
        return std::nullopt;
    }
    return o;
}

int RunDevice(const Options& o) {
    using namespace flintcast;
    auto& clock = platform::SystemClock();
    if (o.timeScale) clock.setScale(*o.timeScale);
    // SIGINT, SIGTERM and SIGHUP arrive through a descriptor, so the loop ends between two requests.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);  // a closed terminal unplugs the device as cleanly
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    const int stopFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);
    if (stopFd < 0) {
        std::perror("flintcast-devsim: signalfd");
        return 1;
    }
    // Everything the command line names is checked before the device appears anywhere.
    std::string faultError;
    if (!sim::ParseFaultSpec(o.faults, faultError)) {
        std::fprintf(stderr, "flintcast-devsim: %s\n", faultError.c_str());
        return 2;
    }
    // "android" names the built-in Android-based unit; anything else is a profile file.
    sim::Profile profile = o.profile.empty()        ? sim::DefaultProfile()
                           : o.profile == "android" ? sim::AndroidProfile()
                                                    : sim::LoadProfile(o.profile);
    sim::Device device(std::move(profile), o.root, o.state, clock);
    device.AddFaults(o.faults);
    const auto ready = device.Start();
    std::printf("%s\n", ready.c_str());
    std::fflush(stdout);
    device.Run(stopFd);
    device.Stop();
    ::close(stopFd);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    try {
        if (!args.empty() && args[0] == "ctl") {
            if (args.size() < 3) {
                std::fputs(kUsage, stderr);
                return 2;
            }
            std::string command;
            for (size_t i = 2; i < args.size(); ++i) command += (i > 2 ? " " : "") + args[i];
            return flintcast::sim::RunControlClient(args[1], command);
        }
        std::string error;
        const auto options = ParseOptions(args, error);
        if (!options) {
            std::fprintf(stderr, "flintcast-devsim: %s\n%s", error.c_str(), kUsage);
            return 2;
        }
        return RunDevice(*options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "flintcast-devsim: %s\n", e.what());
        return 1;
    }
}
