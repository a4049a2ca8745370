// The simulated Android-based unit's adbd, checked with the standard adb tool through a private
// adb server: connect, pull of the WiFi board file, push and pull back of a file with the bytes
// compared, and the board file wiped by a fastboot flash until a push restores it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <fmt/format.h>

#include "sim/model/sha256.h"
#include "tests/sim/sim_process.h"
#include "tests/sim/state_wait.h"
#include "tests/support/program_run.h"

namespace flintcast::simtest {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kBoardFile = "/system/wifi/ath6k/AR6003/hw2.0/bdata.SD31.bin";

std::string ReadAttr(const fs::path& p) {
    std::ifstream in(p);
    std::string s;
    std::getline(in, s);
    return s;
}

std::vector<uint8_t> ReadBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A loopback port nobody listens on now, for this test's own adb server.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

std::string FileSha(const nlohmann::json& state, const std::string& path) {
    const auto& files = state["android_files"];
    return files.contains(path) ? files[path]["sha256"].get<std::string>() : std::string();
}

class AdbClient : public ::testing::Test {
protected:
    std::map<std::string, std::string> env{{"ANDROID_ADB_SERVER_PORT", std::to_string(FreePort())}};

    void SetUp() override {
        if (!OnPath("adb")) GTEST_SKIP() << "adb is not installed (Debian package adb)";
    }
    // Only this test's own server is stopped.
    void TearDown() override {
        if (OnPath("adb")) RunProgram({"adb", "kill-server"}, env, 10s);
    }
    ProgramResult Adb(std::vector<std::string> args) {
        args.insert(args.begin(), "adb");
        return RunProgram(args, env, 30s);
    }
};

TEST_F(AdbClient, PushAndPullWithTheStandardToolAndTheBoardFileWipedByTheUpdate) {
    SimProcess sim({"--profile", "android"});
    const auto address = WaitForService(sim, "adb");
    ASSERT_FALSE(address.empty());
    const fs::path iface = sim.root() / "sys/devices/flintcast-sim/usb1/1-1/1-1:1.3";
    EXPECT_EQ(ReadAttr(iface / "bInterfaceClass") + ReadAttr(iface / "bInterfaceSubClass") +
                  ReadAttr(iface / "bInterfaceProtocol"),
              "ff4201");
    const fs::path device = iface.parent_path();
    const fs::path node = sim.root() / "dev/bus/usb" / fmt::format("{:03d}", std::stoi(ReadAttr(device / "busnum"))) /
                          fmt::format("{:03d}", std::stoi(ReadAttr(device / "devnum")));
    EXPECT_EQ(fs::read_symlink(node).string(), "tcp:" + address);

    auto r = Adb({"connect", address});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ASSERT_NE(r.output.find("connected to"), std::string::npos) << r.output;

    const fs::path work = sim.state().parent_path();
    r = Adb({"-s", address, "pull", kBoardFile, (work / "board.bin").string()});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const auto board = ReadBytes(work / "board.bin");
    const auto original = sim.StateFile()["android_files"][kBoardFile];
    EXPECT_EQ(original["size"], board.size());
    EXPECT_EQ(original["sha256"], sim::Sha256Hex(board));

    // A file bigger than one sync data piece and one transport payload.
    std::vector<uint8_t> bytes(300 * 1024 + 17);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 10));
    std::ofstream(work / "up.bin", std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    r = Adb({"-s", address, "push", (work / "up.bin").string(), "/data/local/tmp/up.bin"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(WaitForState(sim, [&](const auto& s) { return FileSha(s, "/data/local/tmp/up.bin") == sim::Sha256Hex(bytes); }));
    r = Adb({"-s", address, "pull", "/data/local/tmp/up.bin", (work / "down.bin").string()});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(ReadBytes(work / "down.bin"), bytes);

    // The update (a fastboot flash) wipes the board file; only a push brings it back.
    if (!OnPath("fastboot")) return;
    ASSERT_EQ(sim.Ctl("personality fastboot"), 0);
    const auto fastboot = WaitForService(sim, "fastboot");
    ASSERT_FALSE(fastboot.empty());
    r = RunProgram({"fastboot", "-s", "tcp:" + fastboot, "flash", "splash", (work / "up.bin").string()});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(WaitForState(sim, [](const auto& s) { return FileSha(s, kBoardFile).empty(); }));
    r = RunProgram({"fastboot", "-s", "tcp:" + fastboot, "continue"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const auto again = WaitForService(sim, "adb");
    ASSERT_FALSE(again.empty());
    ASSERT_EQ(Adb({"connect", again}).exitCode, 0);
    r = Adb({"-s", again, "pull", kBoardFile, (work / "gone.bin").string()});
    EXPECT_NE(r.exitCode, 0) << r.output;
    r = Adb({"-s", again, "push", (work / "board.bin").string(), kBoardFile});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(WaitForState(sim, [&](const auto& s) { return FileSha(s, kBoardFile) == original["sha256"]; }));
}

}  // namespace
}  // namespace flintcast::simtest
