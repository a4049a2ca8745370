#include "cli/android_demo.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <vector>

#include <fmt/format.h>

#include "cli/console_messages.h"
#include "cli/demo_unit.h"
#include "cli/embedded_package.h"
#include "controller/image_staging.h"
#include "platform/clock.h"
#include "platform/ini_file.h"

namespace flintcast::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kBoardFile = "/system/wifi/ath6k/AR6003/hw2.0/bdata.SD31.bin";
// Above one system chunk (50,331,072 bytes), so the image goes in two.
constexpr uint64_t kSystemImageBytes = 60'000'000;
constexpr uint64_t kBootImageBytes = 3 * 1024 * 1024 + 123;

void WriteImage(const fs::path& file, uint64_t size, uint8_t seed) {
    std::ofstream out(file, std::ios::binary);
    std::vector<char> block(1 << 20);
    for (uint64_t at = 0; at < size; at += block.size()) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(block.size(), size - at));
        for (size_t i = 0; i < n; ++i) block[i] = static_cast<char>(seed + (at + i) * 13 + ((at + i) >> 10));
        out.write(block.data(), static_cast<std::streamsize>(n));
    }
}

bool SameBytes(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    if (fs::file_size(a, ec) != fs::file_size(b, ec) || ec) return false;
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    std::vector<char> p(1 << 20), q(1 << 20);
    while (x && y) {
        x.read(p.data(), static_cast<std::streamsize>(p.size()));
        y.read(q.data(), static_cast<std::streamsize>(q.size()));
        if (x.gcount() != y.gcount() || !std::equal(p.begin(), p.begin() + x.gcount(), q.begin())) return false;
    }
    return true;
}

}  // namespace

std::string AndroidDemoProfile() {
    // The built-in Android-based unit, with the project of the default package it takes and the
    // identity values of the demo's card (those that project keeps).
    const nlohmann::json card = DemoUnitProfile();
    nlohmann::json unit = {{"base", "android"}, {"project", 46}};
    for (const char* key : {"identity"}) unit[key] = card[key];
    return unit.dump();
}

AndroidDemoPackage MakeAndroidDemoPackage(const fs::path& folder) {
    AndroidDemoPackage out;
    const EmbeddedPackage package;
    ConsoleMessageSink messages(std::cerr);
    config::ProjectConfig staged;
    const controller::StagingFolders folders{folder / "TempFiles", folder / "TempFiles2", folder / "Backup"};
    if (!controller::StageImages(folders, package, staged, messages, platform::SystemClock()).ok) {
        out.error = "the embedded package could not be staged";
        return out;
    }
    out.imageFolder = folders.staging;
    WriteImage(out.imageFolder / "boot.img", kBootImageBytes, 3);
    WriteImage(out.imageFolder / "system.img", kSystemImageBytes, 7);
    auto ini = platform::IniFile::Load(folders.staging / "Config.ini");
    if (!ini) {
        out.error = "the package has no Config.ini";
        return out;
    }
    // The CD-ROM image is for units that switch to a disk at the end; this one does not.
    ini->writeString("DownloadItems", "bCDROM", "0");
    ini->writeString("DownloadItems", "bFastbootBootImage", "1");
    ini->writeString("DownloadItems", "bFastbootSystemImage", "1");
    ini->writeString("DownloadItems", "bFastbootSystemImageMutil", "1");
    ini->writeString("DownloadItems", "bBackupARM11Files", "1");
    ini->writeString("ARM11Files", "ARM11F0", kBoardFile);
    out.config = folder / "Config.ini";
    if (!ini->save(out.config)) out.error = "cannot write " + out.config.string();
    return out;
}

AndroidDemoCheck CheckAndroidUnit(const AndroidDemoPackage& package, const nlohmann::json& before,
                                  const nlohmann::json& after, const fs::path& stateFolder) {
    AndroidDemoCheck check;
    int same = 0;
    for (const char* name : {"boot", "system"}) {
        if (SameBytes(package.imageFolder / (std::string(name) + ".img"), stateFolder / "partitions" / (std::string(name) + ".img"))) ++same;
    }
    const auto file = [](const nlohmann::json& state) {
        return state.is_object() && state.contains("android_files") && state["android_files"].contains(kBoardFile)
                   ? state["android_files"][kBoardFile]
                   : nlohmann::json();
    };
    const bool boardKept = !file(before).is_null() && file(before) == file(after);
    check.ok = same == 2 && boardKept;
    check.summary = fmt::format("Android unit after the update: partitions equal to their images {}/2, WiFi board file {}",
                                same, boardKept ? "as before the update" : "NOT as before the update");
    return check;
}

}  // namespace flintcast::cli
