// The fault matrix: a whole update of a simulated Android-based unit whose images wipe its
// data, with one fault at one point of the run. Every case is checked the same way:
//  - no PASS unless the unit's data is what it was before the run;
//  - the run ends by itself (no crash, no hang);
//  - a backup the run got past is, byte for byte, the backup a run without faults makes;
//  - with the fault cleared and the unit plugged in again, `flintcast resume` (or, when the run
//    never finished its backup, a new `flintcast run`) ends in PASS with the unit's data as before.
// FLINTCAST_FAULT_MATRIX=all runs every case; FLINTCAST_FAULT_MATRIX_REPORT=FILE appends one
// table row per case to FILE.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <map>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "platform/ini_file.h"
#include "tests/matrix/backup_disk.h"
#include "tests/matrix/fault_cases.h"
#include "tests/run/unit_state.h"
#include "tests/run/update_run_fixture.h"
#include "tests/support/free_port.h"

namespace flintcast::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr const char* kBoardFile = "/system/wifi/ath6k/AR6003/hw2.0/bdata.SD31.bin";
// A run that has not ended this long after it began has hung: a whole run at the matrix's
// time scale takes seconds, and the longest limit of the tool (the wait for a unit) is 60 s.
constexpr auto kHangLimit = std::chrono::seconds(150);


// The Android-based project-46 unit: data of its own in every place the run backs up, all of
// it wiped by the streamed EFS image (NV, RF NV, identity, EFS files) or by the fastboot
// flash (the board file).
json UnitProfile() {
    json efs = json::array({EfsDir("/nvm"), EfsDir("/nvm/num"), EfsFile("/nvm/num/888", 2976, 1), EfsDir("/user/cfg/sub"),
                            EfsFile("/user/cfg/a.dat", 1000, 3), EfsFile("/user/cfg/sub/b.dat", 2976, 4)});
    return {{"base", "android"},
            {"project", 46},
            {"efs_image_wipes", true},
            {"identity",
             {{"sn", "FC46M1000014"}, {"imei", "860046000000149"}, {"imei_1", ""}, {"esn", ""}, {"meid", ""},
              {"bluetooth", "00:1A:7D:46:01:49"}, {"sales_count", "001A7D460149"}, {"sales_info", "SALES-0046-0149"},
              {"wifi_cal", "0A0B0C0D0E14"}, {"testinf", "CAL:PASS,FT:PASS"}}},
            {"nv_items", SampledNvItems(45)},
            {"rf_nv_items", SampledRfNvItems(std::numeric_limits<size_t>::max(), 4, 7)},
            {"efs", efs}};
}

// The unit's data a run must keep: identity values, NV and RF NV items, the backed-up EFS
// files and the board file. Names what differs; empty when nothing does.
std::vector<std::string> DataDifferences(const json& before, const json& after) {
    std::vector<std::string> diffs;
    if (after.is_discarded() || !after.contains("model")) return {"the unit's state cannot be read"};
    const json& idWas = before["modem"]["identity"];
    const json& idNow = after["modem"]["identity"];
    for (const auto& [key, value] : idWas.items())
        if (!idNow.contains(key) || idNow[key] != value) diffs.push_back(fmt::format("identity {}", key));
    for (const auto& [key, value] : idNow.items())
        if (!idWas.contains(key)) diffs.push_back(fmt::format("identity {} (new)", key));
    const auto nvWas = ById(before["model"]["nv_items"]);
    const auto nvNow = ById(after["model"]["nv_items"]);
    for (const auto& [id, item] : nvWas)
        if (!nvNow.count(id) || nvNow.at(id) != item) diffs.push_back(fmt::format("NV {}", id));
    const auto rfWas = ById(before["model"]["rf_nv_items"]);
    const auto rfNow = ById(after["model"]["rf_nv_items"]);
    for (const auto& [id, item] : rfWas)
        if (!rfNow.count(id) || rfNow.at(id) != item) diffs.push_back(fmt::format("RF NV {}", id));
    const auto efsWas = ByPath(before["model"]["efs"]);
    const auto efsNow = ByPath(after["model"]["efs"]);
    for (const auto& [path, entry] : efsWas) {
        if (entry.value("type", "") == "dir") continue;
        if (!efsNow.count(path) || efsNow.at(path).value("sha256", "") != entry.value("sha256", ""))
            diffs.push_back("EFS " + path);
    }
    const json& boardWas = before["android_files"][kBoardFile];
    if (!after["android_files"].contains(kBoardFile) || after["android_files"][kBoardFile] != boardWas)
        diffs.push_back("board file");
    return diffs;
}

using FileMap = std::map<std::string, std::string>;

FileMap FilesBelow(const fs::path& folder) {
    FileMap files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_regular_file()) files[fs::relative(it->path(), folder).string()] = ReadText(it->path());
    }
    return files;
}

// Bytes of `expected` that `actual` lacks or holds differently.
uint64_t LostBytes(const FileMap& expected, const FileMap& actual) {
    uint64_t lost = 0;
    for (const auto& [name, bytes] : expected) {
        const auto it = actual.find(name);
        if (it == actual.end()) {
            lost += bytes.size();
            continue;
        }
        for (size_t i = 0; i < bytes.size(); ++i)
            if (i >= it->second.size() || it->second[i] != bytes[i]) ++lost;
    }
    return lost;
}

std::string Escape(std::string text) {
    for (char& c : text)
        if (c == '|' || c == '\n' || c == '\r') c = ' ';
    return text;
}

class FaultMatrixTest : public UpdateRunFixture, public ::testing::WithParamInterface<FaultCase> {
protected:
    fs::path images = dir.path() / "images";
    fs::path backupRoot = dir.path() / "data/flintcast/Backup";
    std::string adbPort;

    void SetUp() override {
        UpdateRunFixture::SetUp();
        // Fastboot's reply limits are short (512 ms for the answer to a download command); at
        // a twentieth of real time they stay well above a busy machine's scheduling delays.
        scale = "0.05";
        adbPort = std::to_string(FreeTcpPort());
        ::setenv("ANDROID_ADB_SERVER_PORT", adbPort.c_str(), 1);
        fs::create_directories(images);
        for (const auto& entry : fs::directory_iterator(fs::path(FLINTCAST_BIN_DIR) / ".." / "package" / "default")) {
            if (entry.path().filename() != "manifest.sha256") fs::copy_file(entry.path(), images / entry.path().filename());
        }
        std::string system(96 * 1024, '\0');
        for (size_t i = 0; i < system.size(); ++i) system[i] = static_cast<char>(i * 13 + (i >> 9));
        ASSERT_TRUE(WriteText(images / "system.img", system));
    }
    void TearDown() override {
        // The adb server the run started for the board file stays behind otherwise.
        platform::ChildProcess kill;
        if (kill.Start("adb", {"-P", adbPort, "kill-server"})) {
            WaitUntil([&] { return !kill.running(); });
            kill.Stop(1000);
        }
        ::unsetenv("ANDROID_ADB_SERVER_PORT");
        UpdateRunFixture::TearDown();
    }

    fs::path MatrixConfig(const Point& point) {
        Changes changes{{"DownloadItems/bCDROM", "0"},
                        {"DownloadItems/bFastbootSystemImage", "1"},
                        {"DownloadItems/bBackupARM11Files", "1"},
                        {"ARM11Files/ARM11F0", kBoardFile},
                        {"DownloadItems/bBackupUserData", "1"},
                        {"UserDataFiles/UF0", "/nvm/num/888"},
                        {"UserDataDir/UD0", "/user/cfg"}};
        changes.insert(changes.end(), point.config.begin(), point.config.end());
        return ConfigWith(changes);
    }

    void StartUnit(const std::string& faults) {
        const fs::path profile = dir.path() / "unit.json";
        std::ofstream(profile) << UnitProfile().dump();
        std::vector<std::string> args{"--profile", profile.string()};
        if (!faults.empty()) args.insert(args.end(), {"--faults", faults});
        StartSimulator(args);
        DeviceState();
    }

    std::string Ctl(const std::vector<std::string>& args) { return SimulatorCtl(root, dir.path(), args); }

    std::string Setting(const std::string& name) {
        auto ini = platform::IniFile::Load(dir.path() / "config/flintcast/Flintcast_QCOMM.ini");
        return ini ? ini->readString("Flintcast_QCOMM", name, "") : "";
    }

    struct RunResult {
        int code = -1;
        bool hung = false;
        bool crashed = false;
        bool passed = false;
        bool actionDone = false;
        std::string output;
        double seconds = 0;
    };

    // One run of `command`; `line` and `act` make the host's fault once the run shows the line.
    RunResult Run(const fs::path& config, const std::string& command, const std::string& line = {},
                  const std::function<void(platform::ChildProcess&)>& act = {}) {
        RunResult r;
        const auto began = std::chrono::steady_clock::now();
        platform::ChildProcess run;
        EXPECT_TRUE(StartRun(run, config, command, {"--image-folder", images.string()}));
        const std::string wanted = "\"text\":\"" + line;  // the line, or a line that begins with it
        if (act) {
            WaitUntil([&] { return !run.running() || Output().find(wanted) != std::string::npos; }, kHangLimit);
            if (run.running()) {
                act(run);
                r.actionDone = true;
            }
        }
        const bool ended = WaitUntil([&] { return !run.running(); }, kHangLimit);
        r.hung = !ended;
        r.code = run.Stop(1000);
        r.crashed = !r.hung && (r.code < 0 || r.code > 6);
        r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        r.output = Output();
        r.passed = r.code == 0 && r.output.find("\"text\":\"PASS\"") != std::string::npos;
        return r;
    }

    static bool Shows(const RunResult& r, const std::string& text) {
        return r.output.find("\"text\":\"" + text + "\"") != std::string::npos;
    }

    // The first error line of a run, or how it ended.
    static std::string Outcome(const RunResult& r) {
        if (r.hung) return "hung";
        if (r.crashed) return fmt::format("crashed (exit {})", r.code);
        if (r.passed) return "PASS";
        const auto at = r.output.find("\"text\":\"ERROR");
        std::string text;
        if (at != std::string::npos) {
            const auto begin = at + 8;
            text = json::parse("\"" + r.output.substr(begin, r.output.find("\"", begin) - begin) + "\"", nullptr, false)
                       .get<std::string>();
        }
        const char* how = r.code == 5 ? "stopped" : r.code == 4 ? "refused" : r.code == 6 ? "nothing to resume" : "failed";
        return text.empty() ? fmt::format("{} (exit {})", how, r.code) : fmt::format("{}: {}", how, text.substr(0, 90));
    }

    // The backup a run without faults makes of this unit, made once per build of the tool and
    // shared by the cases (the first case that needs it makes it, under a lock).
    struct Reference {
        FileMap files;
        std::vector<std::pair<std::string, uint64_t>> order;  // files in the order they were written
    };
    Reference ReferenceBackup();

    uint64_t FreePagesBefore(const Reference& ref, const std::string& firstFile) {
        uint64_t pages = 0;
        for (const auto& [name, size] : ref.order) {
            if (name == firstFile || name.rfind(firstFile + "/", 0) == 0) break;
            pages += BackupDisk::Pages(size);
        }
        return pages;
    }

    void Report(const FaultCase& c, const std::string& injection, const RunResult& first, const std::string& resume,
                const std::vector<std::string>& problems) {
        const char* file = std::getenv("FLINTCAST_FAULT_MATRIX_REPORT");
        if (file == nullptr || *file == '\0') return;
        const std::string checks = problems.empty() ? "ok" : fmt::format("FAILED: {}", fmt::join(problems, "; "));
        const std::string row = fmt::format("| {} | {} | {} | {} | `{}` | {} | {} | {} | {:.1f} |\n", c.number, c.point->group,
                                            c.point->name, FaultName(c.fault), Escape(injection),
                                            Escape(Outcome(first)), Escape(resume), Escape(checks), first.seconds);
        const int fd = ::open(file, O_WRONLY | O_APPEND | O_CREAT, 0644);
        if (fd < 0) return;
        ::flock(fd, LOCK_EX);
        [[maybe_unused]] const auto n = ::write(fd, row.data(), row.size());
        ::close(fd);
    }
};

FaultMatrixTest::Reference FaultMatrixTest::ReferenceBackup() {
    // Keyed by the tool's build, so a changed backup format is never compared with an old one.
    const fs::path tool = fs::path(FLINTCAST_BIN_DIR) / "flintcast";
    const auto stamp = std::to_string(fs::last_write_time(tool).time_since_epoch().count());
    const fs::path cache = fs::path(FLINTCAST_BIN_DIR) / ".." / "fault-matrix-reference.json";
    const int lockFd = ::open((cache.string() + ".lock").c_str(), O_RDWR | O_CREAT, 0644);
    ::flock(lockFd, LOCK_EX);
    json stored = json::parse(ReadText(cache), nullptr, false);
    if (stored.is_discarded() || stored.value("stamp", "") != stamp) {
        // The unit refuses to enter download mode: the run ends right after its backup.
        StartUnit("refuse:diag.download@*");
        const RunResult r = Run(MatrixConfig(Point{}), "run");
        const fs::path folder = Setting("Backup Folder");
        stored = json{{"stamp", stamp}, {"files", json::array()}};
        std::vector<std::pair<fs::file_time_type, std::string>> written;
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            if (it->is_regular_file()) written.emplace_back(it->last_write_time(), fs::relative(it->path(), folder).string());
        }
        std::sort(written.begin(), written.end());
        for (const auto& [time, name] : written) {
            const std::string bytes = ReadText(folder / name);
            std::string hex;
            for (unsigned char b : bytes) hex += fmt::format("{:02x}", b);
            stored["files"].push_back({{"name", name}, {"hex", hex}});
        }
        EXPECT_TRUE(Shows(r, "Backup succssfully")) << r.output;
        if (!Shows(r, "Backup succssfully") || written.empty()) stored = json{};
        else WriteText(cache, stored.dump());
        simulator.Stop();
        fs::remove_all(folder.parent_path(), ec);
        fs::remove_all(dir.path() / "config", ec);
        fs::remove_all(dir.path() / "state", ec);
        fs::create_directories(dir.path() / "state");
    }
    ::close(lockFd);
    Reference ref;
    if (!stored.is_object()) return ref;
    for (const auto& f : stored["files"]) {
        std::string bytes;
        const std::string hex = f["hex"].get<std::string>();
        for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        ref.files[f["name"].get<std::string>()] = bytes;
        ref.order.emplace_back(f["name"].get<std::string>(), bytes.size());
    }
    return ref;
}

TEST_P(FaultMatrixTest, RunWithOneFault) {
    const FaultCase& c = GetParam();
    const Point& point = *c.point;
    const Reference ref = ReferenceBackup();
    ASSERT_FALSE(ref.files.empty()) << "no reference backup";

    // The PC's backup disk, where this case needs one of its own.
    BackupDisk disk;
    std::string injection = c.injection.simFaults;
    if (c.injection.diskFull || c.injection.action == HostAction::MakeReadOnly) {
        const uint64_t freePages = c.injection.diskFull ? FreePagesBefore(ref, point.backupFile) : 4096;
        if (!disk.Mount(backupRoot, freePages)) GTEST_SKIP() << disk.error();
        if (c.injection.diskFull) injection = fmt::format("tmpfs with {} free pages", freePages);
    }
    // The first backup file meets a read-only folder from the start; a later one the moment
    // the run reaches its point.
    const bool readOnlyFromStart = c.injection.action == HostAction::MakeReadOnly &&
                                   !ref.order.empty() && ref.order.front().first == point.backupFile;
    if (c.injection.action == HostAction::MakeReadOnly) {
        injection = readOnlyFromStart ? "read-only tmpfs" : fmt::format("read-only remount at \"{}\"", point.line);
        if (readOnlyFromStart) {
            ASSERT_TRUE(disk.MakeReadOnly()) << disk.error();
        }
    }
    if (c.injection.action == HostAction::PressStop) injection = fmt::format("SIGINT at \"{}\"", point.line);

    StartUnit(c.injection.simFaults);
    const json before = LiveDeviceState(root, dir.path());
    ASSERT_FALSE(before.is_discarded());
    const fs::path config = MatrixConfig(point);

    std::function<void(platform::ChildProcess&)> act;
    if (c.injection.action == HostAction::PressStop) act = [](platform::ChildProcess& run) { ::kill(run.pid(), SIGINT); };
    if (c.injection.action == HostAction::MakeReadOnly && !readOnlyFromStart)
        act = [&](platform::ChildProcess&) { EXPECT_TRUE(disk.MakeReadOnly()) << disk.error(); };
    const RunResult first = Run(config, "run", point.line, act);

    std::vector<std::string> problems;
    if (first.hung) problems.push_back("the run hung");
    if (first.crashed) problems.push_back(fmt::format("the run crashed (exit {})", first.code));
    if (act && !first.actionDone) problems.push_back("the run ended before the point was reached");
    const json after = LiveDeviceState(root, dir.path());
    if (first.passed) {
        const auto diffs = DataDifferences(before, after);
        if (!diffs.empty()) problems.push_back(fmt::format("false PASS, changed: {}", fmt::join(diffs, ", ")));
    }
    const fs::path folder = Setting("Backup Folder");
    const bool backupDone = Shows(first, "Backup succssfully");
    if (backupDone && !first.passed) {
        const uint64_t lost = LostBytes(ref.files, FilesBelow(folder));
        if (lost > 0) problems.push_back(fmt::format("{} backup bytes lost in {}", lost, folder.string()));
    }

    // The operator clears the fault: plugs the unit in again, frees the disk, and resumes.
    Ctl({"clear-faults"});
    const std::string status = after.value("status", "");
    if (status == "unplugged" || status == "crashed") Ctl({"plug"});
    DeviceState();
    disk.FreeSpace();
    if (disk.mounted()) disk.MakeWritable();
    // Resume while a backup is recorded; a run that never finished its backup left the unit
    // as it was and has nothing to resume, so the operator runs the update again (and resumes
    // that run should it fail after its own backup).
    std::vector<std::string> steps;
    std::string laterOutputs;
    RunResult last = first;
    bool resumable = true;
    for (int attempt = 0; attempt < 4 && !last.passed && !last.hung; ++attempt) {
        const std::string command = resumable ? "resume" : "run";
        last = Run(config, command);
        laterOutputs += fmt::format("\n--- output of the {}:\n{}", command, last.output);
        steps.push_back(fmt::format("{}: {}", command, Outcome(last)));
        if (last.hung) problems.push_back(fmt::format("the {} hung", command));
        if (last.crashed) problems.push_back(fmt::format("the {} crashed", command));
        if (last.passed) {
            const auto diffs = DataDifferences(before, LiveDeviceState(root, dir.path()));
            if (!diffs.empty())
                problems.push_back(fmt::format("false PASS of the {}, changed: {}", command, fmt::join(diffs, ", ")));
        } else if (Setting("Backup Folder") == folder.string() && backupDone) {
            const uint64_t lost = LostBytes(ref.files, FilesBelow(folder));
            if (lost > 0) problems.push_back(fmt::format("{} backup bytes lost after the {}", lost, command));
        }
        resumable = last.code != 6 && (command == "resume" || Shows(last, "Backup succssfully"));
        // A resume must take a unit that waits in fastboot mode. Should one refuse it, that is
        // a fault of the case, and the operator's way out is power-cycling the unit, which boots
        // its firmware, and resuming again.
        if (last.code == 4 && LiveDeviceState(root, dir.path()).value("personality", "") == "fastboot") {
            problems.push_back("the resume refused a unit that waits in fastboot mode");
            steps.push_back("unit power-cycled");
            Ctl({"reset"});
            DeviceState();
        }
    }
    if (!first.passed && !last.passed) problems.push_back("the unit was not brought back to PASS");
    const std::string resume = first.passed ? "not needed" : fmt::format("{}", fmt::join(steps, "; "));
    Report(c, injection, first, resume, problems);
    EXPECT_TRUE(problems.empty()) << fmt::format("{}\n  {}\n", c.id, fmt::join(problems, "\n  ")) << first.output
                                  << laterOutputs;
}

std::string CaseName(const ::testing::TestParamInfo<FaultCase>& info) {
    std::string name;
    for (char ch : info.param.id) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Matrix, FaultMatrixTest, ::testing::ValuesIn(SelectedFaultCases()), CaseName);

}  // namespace
}  // namespace flintcast::testing
