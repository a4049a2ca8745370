#pragma once
// Windows programs under Wine against the Linux simulator: one Wine prefix for all Wine tests
// (made on first use), the simulator in the test's folder, and the bridge that makes its ports
// COM ports of the prefix and registers them as USB serial ports.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "devkit/files.h"
#include "devkit/temp_dir.h"
#include "devkit/wait_until.h"

namespace flintcast::testing {

class WineRig {
public:
    static std::filesystem::path Prefix() { return FLINTCAST_WINE_PREFIX; }
    static std::filesystem::path WindowsProgram(const std::string& name) {
        return std::filesystem::path(FLINTCAST_WINDOWS_BIN_DIR) / name;
    }
    static std::filesystem::path LinuxProgram(const std::string& name) {
        return std::filesystem::path(FLINTCAST_BIN_DIR) / name;
    }

    // Makes the prefix when it is missing. The bridge's registrar keeps its wineserver running
    // for the test, so the Windows programs started meanwhile share its registry at once.
    WineRig() {
        ::setenv("WINEPREFIX", Prefix().c_str(), 1);
        ::setenv("WINEDEBUG", "-all", 1);
        ::setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);  // no installer prompts for .NET or HTML
        if (!std::filesystem::exists(Prefix() / "system.reg")) {
            // The registry reaches its files when the wineserver ends.
            Run("/usr/bin/wineboot", {"-i"}, dir.path() / "wineboot.out", std::chrono::seconds(240));
            Run("/usr/bin/wineserver", {"-w"}, dir.path() / "wineserver.out", std::chrono::seconds(60));
        }
        ready = std::filesystem::exists(Prefix() / "system.reg");
        // Windows and dialogs without a display: Wine's null graphics driver.
        if (ready)
            ready = Run("/usr/bin/wine", {"reg", "add", "HKCU\\Software\\Wine\\Drivers", "/v", "Graphics", "/d", "null", "/f"},
                        dir.path() / "graphics.out") == 0;
    }

    // Starts the simulator (extra arguments such as "--profile FILE") and the bridge, and waits
    // until the unit's ports are COM ports of the prefix.
    bool StartUnit(const std::vector<std::string>& extra = {}, const std::string& scale = "0.02") {
        std::filesystem::create_directories(root());
        std::filesystem::create_directories(state());
        std::vector<std::string> args{"--root", root().string(), "--state", state().string(), "--time-scale", scale};
        args.insert(args.end(), extra.begin(), extra.end());
        if (!simulator.Start(LinuxProgram("flintcast-devsim"), args, dir.path() / "devsim.log")) return false;
        if (!bridge.Start(LinuxProgram("flintcast-wine-bridge"),
                          {"--root", root().string(), "--prefix", Prefix().string(), "--registrar",
                           WindowsProgram("port_registrar.exe").string()},
                          dir.path() / "bridge.log"))
            return false;
        return WaitForBridge("bridge ready");
    }

    // True once the bridge's log holds `occurrences` lines starting with `line`, false when the limit passed first.
    bool WaitForBridge(const std::string& line, size_t occurrences = 1) const {
        auto count = [&] {
            const std::string log = "\n" + BridgeLog();
            size_t n = 0;
            for (size_t at = log.find("\n" + line); at != std::string::npos; at = log.find("\n" + line, at + 1))
                ++n;
            return n;
        };
        WaitUntil([&] { return count() >= occurrences; });
        return count() >= occurrences;
    }
    std::string BridgeLog() const { return ReadText(dir.path() / "bridge.log"); }

    // Runs a program to its end and returns its exit status (-1 when it had to be stopped).
    static int Run(const std::filesystem::path& program, const std::vector<std::string>& args,
                   const std::filesystem::path& output, std::chrono::milliseconds limit = kEventLimit) {
        platform::ChildProcess child;
        if (!child.Start(program, args, output)) return -1;
        WaitUntil([&] { return !child.running(); }, limit);
        return child.Stop(1000);
    }
    // Runs a Windows program under Wine; its output goes to `output`.
    int RunWindows(const std::string& program, const std::vector<std::string>& args,
                   const std::filesystem::path& output, std::chrono::milliseconds limit = kEventLimit) const {
        std::vector<std::string> all{WindowsProgram(program).string()};
        all.insert(all.end(), args.begin(), args.end());
        return Run("/usr/bin/wine", all, output, limit);
    }
    // "flintcast-devsim ctl ROOT ..."
    int Ctl(const std::vector<std::string>& command) const {
        std::vector<std::string> args{"ctl", root().string()};
        args.insert(args.end(), command.begin(), command.end());
        return Run(LinuxProgram("flintcast-devsim"), args, dir.path() / "ctl.out");
    }

    ~WineRig() {
        bridge.Stop();
        simulator.Stop();
    }

    std::filesystem::path root() const { return dir.path() / "root"; }
    std::filesystem::path state() const { return dir.path() / "state"; }

    TempDir dir;
    bool ready = false;
    platform::ChildProcess simulator;
    platform::ChildProcess bridge;
};

}  // namespace flintcast::testing
