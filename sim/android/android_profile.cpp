#include "sim/android/android_profile.h"

#include <sstream>
#include <stdexcept>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "sim/profile.h"
#include "sim/text_util.h"

namespace flintcast::sim {
namespace {

using nlohmann::json;

constexpr const char* kBoardFile = "/system/wifi/ath6k/AR6003/hw2.0/bdata.SD31.bin";
constexpr uint64_t kMiB = 1024 * 1024;

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    throw std::runtime_error(fmt::format("profile: {}: {}", where, what));
}

int64_t Integer(const json& j, const std::string& where, int64_t lo, int64_t hi) {
    std::optional<int64_t> v;
    if (j.is_number_integer()) v = j.get<int64_t>();
    else if (j.is_string()) v = ParseNumber(j.get<std::string>());
    if (!v) Fail(where, "expected a number");
    if (*v < lo || *v > hi) Fail(where, fmt::format("{} is outside {}..{}", *v, lo, hi));
    return *v;
}

std::string Text(const json& j, const std::string& where) {
    if (!j.is_string()) Fail(where, "expected a string");
    return j.get<std::string>();
}

bool Flag(const json& j, const std::string& where) {
    if (!j.is_boolean()) Fail(where, "expected true or false");
    return j.get<bool>();
}

std::vector<uint8_t> HexBytes(const std::string& where, const std::string& hex) {
    std::vector<uint8_t> out;
    std::string digits;
    for (char c : hex)
        if (c != ' ' && c != ':' && c != '-') digits.push_back(c);
    if (digits.size() % 2 != 0) Fail(where, "odd number of hex digits");
    for (size_t i = 0; i < digits.size(); i += 2) {
        const auto v = ParseNumber("0x" + digits.substr(i, 2));
        if (!v) Fail(where, "not a hex digit");
        out.push_back(static_cast<uint8_t>(*v));
    }
    return out;
}

// Absolute, no empty, "." or ".." components, no trailing slash.
std::string AndroidPath(const std::string& where, const std::string& path) {
    if (path.size() < 2 || path.front() != '/' || path.back() == '/') Fail(where, "paths are absolute file names");
    std::stringstream ss(path.substr(1));
    std::string part;
    while (std::getline(ss, part, '/'))
        if (part.empty() || part == "." || part == "..") Fail(where, "paths may not hold empty, '.' or '..' parts");
    return path;
}

// Permission bits: octal text ("0644") or a number.
uint32_t Mode(const json& j, const std::string& where) {
    if (j.is_string()) {
        const auto text = j.get<std::string>();
        uint32_t mode = 0;
        if (text.empty() || text.size() > 5) Fail(where, "expected octal permission bits such as \"0644\"");
        for (char c : text) {
            if (c < '0' || c > '7') Fail(where, "expected octal permission bits such as \"0644\"");
            mode = mode * 8 + static_cast<uint32_t>(c - '0');
        }
        if (mode > 07777) Fail(where, "permission bits go up to 07777");
        return mode;
    }
    return static_cast<uint32_t>(Integer(j, where, 0, 07777));
}

std::vector<uint8_t> Pattern(uint32_t seed, size_t n) {
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>((seed * 131 + i * 13 + (i >> 8)) & 0xFF);
    return out;
}

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

void ApplyFastboot(FastbootSpec& f, const json& j) {
    if (!j.is_object()) Fail("fastboot", "expected an object");
    if (j.contains("product")) f.product = Text(j["product"], "fastboot.product");
    if (j.contains("bootloader_version")) f.bootloaderVersion = Text(j["bootloader_version"], "fastboot.bootloader_version");
    if (j.contains("max_download_size"))
        f.maxDownloadSize = static_cast<uint32_t>(Integer(j["max_download_size"], "fastboot.max_download_size", 1, 0xFFFFFFFF));
    if (j.contains("partitions")) {
        if (!j["partitions"].is_object()) Fail("fastboot.partitions", "expected an object of name: size");
        f.partitions.clear();
        for (const auto& [name, size] : j["partitions"].items()) {
            if (name.empty() || name.size() > 64 || name.find_first_of("/:. ") != std::string::npos)
                Fail("fastboot.partitions", fmt::format("bad partition name \"{}\"", name));
            f.partitions[name] = static_cast<uint64_t>(Integer(size, "fastboot.partitions." + name, 1, int64_t{1} << 40));
        }
    }
    if (j.contains("info_lines")) f.infoLines = Flag(j["info_lines"], "fastboot.info_lines");
    if (j.contains("at_power_up")) f.atPowerUp = Flag(j["at_power_up"], "fastboot.at_power_up");
    if (j.contains("after_streaming_reset"))
        f.afterStreamingReset = Flag(j["after_streaming_reset"], "fastboot.after_streaming_reset");
}

void ApplyAdb(AdbSpec& a, const json& j) {
    if (!j.is_object()) Fail("adb", "expected an object");
    if (j.contains("files")) {
        if (!j["files"].is_array()) Fail("adb.files", "expected an array");
        a.files.clear();
        for (size_t i = 0; i < j["files"].size(); ++i) {
            const auto& e = j["files"][i];
            const auto w = fmt::format("adb.files[{}]", i);
            AndroidFileSpec file;
            file.path = AndroidPath(w + ".path", Text(e.value("path", json()), w + ".path"));
            file.directory = e.contains("dir") && Flag(e["dir"], w + ".dir");
            file.mode = file.directory ? 0755 : 0644;
            if (e.contains("mode")) file.mode = Mode(e["mode"], w + ".mode");
            if (!file.directory && e.contains("hex")) file.data = HexBytes(w + ".hex", Text(e["hex"], w + ".hex"));
            if (!file.directory && e.contains("text")) file.data = Bytes(Text(e["text"], w + ".text"));
            a.files.push_back(std::move(file));
        }
    }
    if (j.contains("wiped_by_update")) {
        if (!j["wiped_by_update"].is_array()) Fail("adb.wiped_by_update", "expected an array of paths");
        a.wipedByUpdate.clear();
        for (const auto& path : j["wiped_by_update"])
            a.wipedByUpdate.push_back(AndroidPath("adb.wiped_by_update", Text(path, "adb.wiped_by_update")));
    }
    if (j.contains("properties")) {
        for (const auto& [key, value] : j["properties"].items()) a.properties[key] = Text(value, "adb.properties." + key);
    }
}

}  // namespace

void ApplyAndroidJson(Profile& p, const json& j) {
    if (j.contains("fastboot")) ApplyFastboot(p.fastboot, j["fastboot"]);
    if (j.contains("adb")) ApplyAdb(p.adb, j["adb"]);
}

Profile AndroidProfile() {
    Profile p = DefaultProfile();
    p.name = "android";
    // An Android-based router: it writes its Android images through fastboot and keeps its
    // WiFi board file in the Android file system.
    p.project = 35;
    p.serial = "FC35A0000001";
    auto& normal = p.layouts[UsbPersonality::Normal];
    normal.productId = 0x0035;
    normal.product = "Flintcast Virtual Android Router";
    normal.interfaces.push_back({3, "ADB Interface", PortRole::Adb});
    p.layouts[UsbPersonality::Download].productId = 0x9035;
    p.layouts[UsbPersonality::Download].product = "Flintcast Virtual Android Router (download)";
    p.layouts[UsbPersonality::Programmer].productId = 0x9135;
    p.layouts[UsbPersonality::Programmer].product = "Flintcast Virtual Android Router (download)";
    UsbLayout fastboot = normal;
    fastboot.productId = 0xB035;
    fastboot.product = "Flintcast Virtual Android Router (fastboot)";
    fastboot.interfaces = {{0, "fastboot", PortRole::Fastboot}};
    p.layouts[UsbPersonality::Fastboot] = fastboot;

    p.cgmrVersion = "SWK0035V2.0.0";
    p.atiVersion = "V2.0.0";
    p.model = "VAR35";
    p.identity["sn"] = "FC35A0000001";
    p.identity["imei"] = "860035000000011";
    p.identity["imei_1"] = "860035000000029";
    p.identity["meid"] = "A1000035000001";
    p.identity["esn"] = "80350001";
    p.identity["zrreq"] = "46035";

    p.fastboot.product = "VAR35";
    p.fastboot.partitions = {{"boot", 64 * kMiB},      {"recovery", 64 * kMiB}, {"system", 1024 * kMiB},
                             {"userdata", 1024 * kMiB}, {"splash", 16 * kMiB}};
    p.fastboot.infoLines = true;
    p.fastboot.afterStreamingReset = true;

    p.adb.files = {
        {"/system", true, {}, 0755},
        {"/system/build.prop", false, Bytes("ro.product.model=VAR35\nro.build.version.release=2.3.5\n"), 0644},
        {"/system/wifi", true, {}, 0755},
        {"/system/wifi/ath6k", true, {}, 0755},
        {"/system/wifi/ath6k/AR6003", true, {}, 0755},
        {"/system/wifi/ath6k/AR6003/hw2.0", true, {}, 0755},
        {kBoardFile, false, Pattern(35, 1 << 13), 0644},
        {"/data", true, {}, 0771},
        {"/data/local", true, {}, 0771},
        {"/data/local/tmp", true, {}, 0771},
        {"/sdcard", true, {}, 0775},
    };
    p.adb.wipedByUpdate = {kBoardFile};
    p.adb.properties = {{"ro.product.name", "var35"},
                        {"ro.product.model", "VAR35"},
                        {"ro.product.device", "var35"},
                        {"ro.build.version.release", "2.3.5"},
                        {"ro.build.version.sdk", "10"},
                        {"ro.serialno", "FC35A0000001"}};
    return p;
}

}  // namespace flintcast::sim
