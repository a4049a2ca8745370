#include "bench/devsim_session.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include <unistd.h>

#include <sstream>

#include "platform/paths.h"

namespace flintcast::bench {
namespace fs = std::filesystem;
namespace {

fs::path Devsim() { return fs::path(FLINTCAST_BIN_DIR) / "flintcast-devsim"; }

// Waits (real time) until `done` holds, up to `limitMs`.
template <typename Predicate>
bool WaitFor(Predicate done, int limitMs) {
    for (int waited = 0; waited < limitMs; waited += 10) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

}  // namespace

DevsimSession::DevsimSession(int32_t project) : worker(project, 1.0) { Start(); }

void DevsimSession::Start() {
    fs::create_directories(root());
    fs::create_directories(state());
    const std::vector<std::string> args = {"--root", root().string(), "--state", state().string(), "--time-scale",
                                           "1.0"};
    if (!sim_.Start(Devsim(), args, dir.path() / "devsim.log")) return Fail("flintcast-devsim did not start");
    if (!WaitFor([&] { return fs::exists(root() / "dev/ttyUSB2"); }, 10000)) return Fail("no ports");
    if (!Ctl({"personality", "programmer"})) return Fail("personality switch refused");
    // The normal ports leave, then the one programmer port comes back as ttyUSB0.
    if (!WaitFor([&] { return !fs::exists(root() / "dev/ttyUSB2"); }, 10000)) return Fail("ports did not leave");
    if (!WaitFor([&] { return fs::exists(root() / "dev/ttyUSB0"); }, 10000)) return Fail("programmer port missing");
    platform::SetDeviceRoot(root());
    worker.serial.diagPortName = "ttyUSB0";
    worker.serial.OpenDiagPort();
    if (!worker.reporter.ok()) return Fail("programmer port did not open");
}

DevsimSession::~DevsimSession() {
    worker.serial.port(engine::PortSlot::Diag).close();
    sim_.Stop(5000);
}

void DevsimSession::Fail(const std::string& what) {
    std::ifstream in(dir.path() / "devsim.log");
    error_ = what + "\n" + std::string(std::istreambuf_iterator<char>(in), {});
}

bool DevsimSession::Ctl(const std::vector<std::string>& command) {
    std::vector<std::string> args = {"ctl", root().string()};
    args.insert(args.end(), command.begin(), command.end());
    platform::ChildProcess ctl;
    if (!ctl.Start(Devsim(), args, dir.path() / "ctl.out")) return false;
    WaitFor([&] { return !ctl.running(); }, 5000);
    return ctl.Stop(1000) == 0;
}

double DevsimSession::DeviceCpuSeconds() const {
    // Fields 14 and 15 of /proc/PID/stat, after the parenthesised command name.
    std::ifstream in("/proc/" + std::to_string(sim_.pid()) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    const auto close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string skip;
    for (int i = 3; i < 14; ++i) fields >> skip;
    double user = 0, system = 0;
    fields >> user >> system;
    return (user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

std::optional<std::vector<uint8_t>> DevsimSession::StoredAmss(size_t size) const {
    const fs::path file = state() / "flash" / "amss.bin";
    std::error_code ec;
    if (!WaitFor([&] { return fs::file_size(file, ec) == size; }, 20000)) return std::nullopt;
    std::vector<uint8_t> bytes(size);
    std::ifstream in(file, std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (!in) return std::nullopt;
    return bytes;
}

}  // namespace flintcast::bench
