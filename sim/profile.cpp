#include "sim/profile.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "sim/text_util.h"

namespace flintcast::sim {

using nlohmann::json;

const std::vector<std::string> kIdentityKeys = {
    "sn", "imei_1", "imei", "esn", "meid", "bluetooth", "sales_count", "sales_info",
    "wifi_cal", "testinf", "uit87", "uit89", "cllen", "zrreq", "gmi", "simlock",
};

const char* PortRoleName(PortRole role) {
    switch (role) {
        case PortRole::Diag: return "diag";
        case PortRole::Modem: return "modem";
        case PortRole::Terminal: return "terminal";
        case PortRole::Download: return "download";
        case PortRole::Programmer: return "programmer";
        case PortRole::Fastboot: return "fastboot";
        case PortRole::Adb: return "adb";
    }
    return "unknown";
}

std::optional<PortRole> ParsePortRole(const std::string& name) {
    for (auto r : {PortRole::Diag, PortRole::Modem, PortRole::Terminal, PortRole::Download, PortRole::Programmer,
                   PortRole::Fastboot, PortRole::Adb})
        if (name == PortRoleName(r)) return r;
    return std::nullopt;
}

const char* UsbPersonalityName(UsbPersonality p) {
    switch (p) {
        case UsbPersonality::Normal: return "normal";
        case UsbPersonality::Download: return "download";
        case UsbPersonality::Programmer: return "programmer";
        case UsbPersonality::Fastboot: return "fastboot";
        case UsbPersonality::Storage: return "storage";
    }
    return "unknown";
}

std::optional<UsbPersonality> ParseUsbPersonality(const std::string& name) {
    for (auto p : {UsbPersonality::Normal, UsbPersonality::Download, UsbPersonality::Programmer, UsbPersonality::Fastboot,
                   UsbPersonality::Storage})
        if (name == UsbPersonalityName(p)) return p;
    return std::nullopt;
}

namespace {

std::vector<uint8_t> Pattern(uint32_t seed, size_t n) {
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>((seed * 31 + i * 7) & 0xFF);
    return out;
}

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    throw std::runtime_error(fmt::format("profile: {}: {}", where, what));
}

std::vector<uint8_t> ParseHex(const std::string& where, std::string_view hex) {
    std::vector<uint8_t> out;
    int nibbles = 0;
    uint8_t cur = 0;
    for (char c : hex) {
        if (c == ' ' || c == ':' || c == '-') continue;
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else Fail(where, fmt::format("'{}' is not a hex digit", c));
        cur = static_cast<uint8_t>((cur << 4) | v);
        if (++nibbles == 2) {
            out.push_back(cur);
            nibbles = 0;
            cur = 0;
        }
    }
    if (nibbles != 0) Fail(where, "odd number of hex digits");
    return out;
}

int64_t Integer(const json& j, const std::string& where, int64_t lo, int64_t hi) {
    int64_t v = 0;
    if (j.is_number_integer()) {
        v = j.get<int64_t>();
    } else if (j.is_string()) {
        const auto n = ParseNumber(j.get<std::string>());
        if (!n) Fail(where, fmt::format("\"{}\" is not a number", j.get<std::string>()));
        v = *n;
    } else {
        Fail(where, "expected a number");
    }
    if (v < lo || v > hi) Fail(where, fmt::format("{} is outside {}..{}", v, lo, hi));
    return v;
}

std::string Text(const json& j, const std::string& where) {
    if (!j.is_string()) Fail(where, "expected a string");
    return j.get<std::string>();
}

bool Flag(const json& j, const std::string& where) {
    if (!j.is_boolean()) Fail(where, "expected true or false");
    return j.get<bool>();
}

// Data of an NV item, RF NV item or EFS file: "hex" or "text".
std::vector<uint8_t> Data(const json& j, const std::string& where) {
    if (j.contains("hex")) return ParseHex(where + ".hex", Text(j["hex"], where + ".hex"));
    if (j.contains("text")) return Bytes(Text(j["text"], where + ".text"));
    return {};
}

uint16_t NvStatus(const json& j, const std::string& where) {
    if (j.is_string()) {
        const auto s = j.get<std::string>();
        if (s == "active") return 0;
        if (s == "inactive") return 5;
        if (s == "read-only") return 7;
        if (s == "undefined") return 8;
    }
    return static_cast<uint16_t>(Integer(j, where, 0, 0xFFFF));
}

UsbLayout ParseLayout(const json& j, const std::string& where, UsbLayout layout) {
    if (!j.is_object()) Fail(where, "expected an object");
    if (j.contains("vid")) layout.vendorId = static_cast<uint16_t>(Integer(j["vid"], where + ".vid", 0, 0xFFFF));
    if (j.contains("pid")) layout.productId = static_cast<uint16_t>(Integer(j["pid"], where + ".pid", 0, 0xFFFF));
    if (j.contains("bcd")) layout.bcdDevice = static_cast<uint16_t>(Integer(j["bcd"], where + ".bcd", 0, 0xFFFF));
    if (j.contains("product")) layout.product = Text(j["product"], where + ".product");
    if (j.contains("interfaces")) {
        const auto& list = j["interfaces"];
        if (!list.is_array() || list.empty()) Fail(where + ".interfaces", "expected a non-empty array");
        layout.interfaces.clear();
        for (size_t i = 0; i < list.size(); ++i) {
            const auto w = fmt::format("{}.interfaces[{}]", where, i);
            InterfaceSpec spec;
            spec.number = static_cast<int>(Integer(list[i].value("number", json(static_cast<int>(i))), w + ".number", 0, 255));
            spec.name = list[i].contains("name") ? Text(list[i]["name"], w + ".name") : "";
            const auto role = ParsePortRole(Text(list[i].value("role", json("")), w + ".role"));
            if (!role) Fail(w + ".role", "expected diag, modem, terminal, download, programmer, fastboot or adb");
            spec.role = *role;
            layout.interfaces.push_back(std::move(spec));
        }
    }
    return layout;
}

// An EFS path the device can hold: absolute, no empty, "." or ".." components.
std::string CheckEfsPath(const std::string& where, const std::string& path) {
    if (path.empty() || path.front() != '/') Fail(where, "EFS paths start with '/'");
    std::stringstream ss(path.substr(1));
    std::string part;
    while (std::getline(ss, part, '/'))
        if (part == "." || part == "..") Fail(where, "EFS paths may not hold '.' or '..'");
    return path;
}

void ApplyJson(Profile& p, const json& j) {
    if (!j.is_object()) Fail("top level", "expected a JSON object");
    if (j.contains("name")) p.name = Text(j["name"], "name");
    if (j.contains("project")) p.project = static_cast<int>(Integer(j["project"], "project", -1, 255));
    if (j.contains("usb")) {
        const auto& u = j["usb"];
        if (u.contains("serial")) p.serial = Text(u["serial"], "usb.serial");
        if (u.contains("tty_prefix")) {
            p.ttyPrefix = Text(u["tty_prefix"], "usb.tty_prefix");
            if (p.ttyPrefix.empty() || p.ttyPrefix.find('/') != std::string::npos || p.ttyPrefix.find("..") != std::string::npos)
                Fail("usb.tty_prefix", "must be a plain name such as ttyUSB");
        }
        if (u.contains("first_tty")) p.firstTtyNumber = static_cast<int>(Integer(u["first_tty"], "usb.first_tty", 0, 4000));
        if (u.contains("mode")) {
            p.usbMode = Text(u["mode"], "usb.mode");
            if (!p.usbMode.empty() && p.usbMode != "D1" && p.usbMode != "D2" && p.usbMode != "D3")
                Fail("usb.mode", "must be D1, D2 or D3");
        }
        if (u.contains("interface_strings")) p.interfaceStrings = Flag(u["interface_strings"], "usb.interface_strings");
        if (u.contains("shift_ports")) p.shiftPorts = Flag(u["shift_ports"], "usb.shift_ports");
        if (u.contains("reenumeration_delay_ms"))
            p.reenumerationDelayMs = static_cast<uint32_t>(Integer(u["reenumeration_delay_ms"], "usb.reenumeration_delay_ms", 0, 600000));
        if (u.contains("power_up")) {
            const auto pers = ParseUsbPersonality(Text(u["power_up"], "usb.power_up"));
            if (pers != UsbPersonality::Normal && pers != UsbPersonality::Storage)
                Fail("usb.power_up", "must be normal or storage");
            p.powerUp = *pers;
        }
        if (u.contains("personalities")) {
            for (const auto& [name, layout] : u["personalities"].items()) {
                const auto pers = ParseUsbPersonality(name);
                if (!pers) Fail("usb.personalities", fmt::format("unknown personality \"{}\"", name));
                p.layouts[*pers] = ParseLayout(layout, "usb.personalities." + name, p.layouts[*pers]);
            }
        }
    }
    if (j.contains("at")) {
        const auto& a = j["at"];
        if (a.contains("echo")) p.echo = Flag(a["echo"], "at.echo");
        if (a.contains("cgmr")) p.cgmrVersion = Text(a["cgmr"], "at.cgmr");
        if (a.contains("ati")) p.atiVersion = Text(a["ati"], "at.ati");
        if (a.contains("manufacturer")) p.manufacturer = Text(a["manufacturer"], "at.manufacturer");
        if (a.contains("model")) p.model = Text(a["model"], "at.model");
        if (a.contains("flashinfo")) p.flashInfo = Text(a["flashinfo"], "at.flashinfo");
        if (a.contains("pmu")) p.pmu = Text(a["pmu"], "at.pmu");
        if (a.contains("disk_mode7")) p.diskMode7 = Flag(a["disk_mode7"], "at.disk_mode7");
    }
    if (j.contains("identity")) {
        for (const auto& [key, value] : j["identity"].items()) {
            if (std::find(kIdentityKeys.begin(), kIdentityKeys.end(), key) == kIdentityKeys.end())
                Fail("identity", fmt::format("unknown value \"{}\"", key));
            p.identity[key] = Text(value, "identity." + key);
        }
    }
    if (j.contains("diag")) {
        const auto& d = j["diag"];
        if (d.contains("platform")) p.diagPlatform = static_cast<uint8_t>(Integer(d["platform"], "diag.platform", 0, 255));
        if (d.contains("spc")) {
            p.serviceCode = Text(d["spc"], "diag.spc");
            if (p.serviceCode.size() != 6) Fail("diag.spc", "must be six characters");
        }
        if (d.contains("security_lock")) p.securityLock = Flag(d["security_lock"], "diag.security_lock");
        if (d.contains("protected_nv")) {
            if (!d["protected_nv"].is_array()) Fail("diag.protected_nv", "expected an array");
            p.protectedNvItems.clear();
            for (const auto& id : d["protected_nv"])
                p.protectedNvItems.push_back(static_cast<uint16_t>(Integer(id, "diag.protected_nv", 0, 0xFFFF)));
        }
        if (d.contains("lock_answer")) {
            p.lockAnswer = static_cast<uint8_t>(Integer(d["lock_answer"], "diag.lock_answer", 0, 255));
            if (p.lockAnswer != 0x42 && p.lockAnswer != 0x47) Fail("diag.lock_answer", "must be 0x42 or 0x47");
        }
    }
    if (j.contains("dmss") && j["dmss"].contains("max_write_size"))
        p.dmssMaxWriteSize = static_cast<uint32_t>(Integer(j["dmss"]["max_write_size"], "dmss.max_write_size", 1, 0xFFFF));
    if (j.contains("dmss") && j["dmss"].contains("params_leading_flag"))
        p.dmssParamsLeadingFlag = Flag(j["dmss"]["params_leading_flag"], "dmss.params_leading_flag");
    if (j.contains("nv_items")) {
        if (!j["nv_items"].is_array()) Fail("nv_items", "expected an array");
        p.nvItems.clear();
        for (size_t i = 0; i < j["nv_items"].size(); ++i) {
            const auto& e = j["nv_items"][i];
            const auto w = fmt::format("nv_items[{}]", i);
            NvItemSpec item;
            item.id = static_cast<uint32_t>(Integer(e.value("id", json()), w + ".id", 0, 0xFFFF));
            item.data = Data(e, w);
            if (item.data.size() > 128) Fail(w, "NV item data holds at most 128 bytes");
            item.data.resize(128, 0);
            if (e.contains("status")) item.status = NvStatus(e["status"], w + ".status");
            p.nvItems.push_back(std::move(item));
        }
    }
    if (j.contains("rf_nv_items")) {
        if (!j["rf_nv_items"].is_array()) Fail("rf_nv_items", "expected an array");
        p.rfNvItems.clear();
        for (size_t i = 0; i < j["rf_nv_items"].size(); ++i) {
            const auto& e = j["rf_nv_items"][i];
            const auto w = fmt::format("rf_nv_items[{}]", i);
            RfNvItemSpec item;
            item.id = static_cast<uint32_t>(Integer(e.value("id", json()), w + ".id", 0, 0xFFFF));
            item.data = Data(e, w);
            p.rfNvItems.push_back(std::move(item));
        }
    }
    if (j.contains("efs")) {
        if (!j["efs"].is_array()) Fail("efs", "expected an array");
        p.efs.clear();
        for (size_t i = 0; i < j["efs"].size(); ++i) {
            const auto& e = j["efs"][i];
            const auto w = fmt::format("efs[{}]", i);
            EfsEntrySpec entry;
            entry.path = CheckEfsPath(w + ".path", Text(e.value("path", json()), w + ".path"));
            entry.directory = e.contains("dir") && Flag(e["dir"], w + ".dir");
            if (!entry.directory) entry.data = Data(e, w);
            if (e.contains("permissions"))
                entry.permissions = static_cast<uint32_t>(Integer(e["permissions"], w + ".permissions", 0, 07777));
            p.efs.push_back(std::move(entry));
        }
    }
    if (j.contains("efs_image_wipes")) p.efsImageWipes = Flag(j["efs_image_wipes"], "efs_image_wipes");
    if (j.contains("faults")) p.faults = Text(j["faults"], "faults");
    ApplyAndroidJson(p, j);
}

}  // namespace

Profile DefaultProfile() {
    Profile p;
    UsbLayout normal;
    normal.vendorId = 0xF1C0;
    normal.productId = 0x0046;
    normal.bcdDevice = 0x0100;
    normal.product = "Flintcast Virtual Data Card";
    normal.interfaces = {{0, "Diag", PortRole::Diag}, {1, "Terminal", PortRole::Terminal}, {2, "Modem", PortRole::Modem}};
    UsbLayout download = normal;
    download.productId = 0x9046;
    download.product = "Flintcast Virtual Data Card (download)";
    download.interfaces = {{0, "Diag", PortRole::Download}};
    UsbLayout programmer = download;
    programmer.productId = 0x9146;
    programmer.interfaces = {{0, "Diag", PortRole::Programmer}};
    p.layouts = {{UsbPersonality::Normal, normal}, {UsbPersonality::Download, download}, {UsbPersonality::Programmer, programmer}};
    // The disk personality: one mass-storage interface and no serial ports.
    UsbLayout storage = normal;
    storage.productId = 0x1046;
    storage.product = "Flintcast Virtual Data Card (disk)";
    storage.interfaces.clear();
    p.layouts[UsbPersonality::Storage] = storage;

    p.cgmrVersion = "SWK0046V1.4.0";
    p.atiVersion = "V1.4.0";
    p.manufacturer = "QUELLMARK HOLDINGS LIMITED";
    p.model = "VDC46";
    p.flashInfo = "ID:0XECA1 PAGESIZE:2048 MCP:1,2 DEVICEWIDTH:16";
    p.pmu = "TI";
    p.identity = {
        {"sn", "FC46V0000001"},      {"imei_1", "860046000000025"}, {"imei", "860046000000017"},
        {"esn", "80460001"},         {"meid", "A1000046000001"},    {"bluetooth", "00:1A:7D:46:00:01"},
        {"sales_count", "001A7D460002"}, {"sales_info", "SALES-0046-0001"},
        {"wifi_cal", "0A0B0C0D0E0F"}, {"testinf", "CAL:PASS,FT:PASS,UIT87:PASS,UIT89:PASS"},
        {"uit87", "PASS"},           {"uit89", "PASS"},             {"cllen", "0"},
        {"zrreq", "46000"},          {"gmi", "QUELLMARK HOLDINGS LIMITED"}, {"simlock", ""},
    };
    for (uint32_t id : {141u, 5479u, 1881u, 1882u, 1883u, 4212u, 550u})
        p.nvItems.push_back({id, Pattern(id, 128), 0});
    // A read-only item outside every backup catalogue: the tool writes catalogue items back
    // after the update, and a real unit keeps its read-only items out of those lists.
    p.nvItems.push_back({1880, Pattern(1880, 128), 7});
    p.nvItems.push_back({1886, std::vector<uint8_t>(128, 0), 5});
    p.rfNvItems.push_back({20208, Pattern(20208, 32)});
    p.rfNvItems.push_back({6503, Pattern(6503, 10)});
    p.efs = {
        {"/nvm", true, {}, std::nullopt},
        {"/nvm/num", true, {}, std::nullopt},
        {"/nvm/num/888", false, Bytes("factory calibration 888\n"), std::nullopt},
        {"/wifi", true, {}, std::nullopt},
        {"/wifi/cal.bin", false, Pattern(77, 256), std::nullopt},
    };
    return p;
}

Profile ParseProfile(const std::string& jsonText) {
    json j;
    try {
        j = json::parse(jsonText);
    } catch (const json::exception& e) {
        throw std::runtime_error(fmt::format("profile: not valid JSON: {}", e.what()));
    }
    // "base": "android" starts from the built-in Android-based unit instead of the data card.
    Profile p = DefaultProfile();
    if (j.is_object() && j.contains("base")) {
        if (!j["base"].is_string() || (j["base"] != "android" && j["base"] != "default"))
            Fail("base", "expected \"default\" or \"android\"");
        if (j["base"] == "android") p = AndroidProfile();
    }
    try {
        ApplyJson(p, j);
    } catch (const json::exception& e) {
        throw std::runtime_error(fmt::format("profile: {}", e.what()));
    }
    for (const auto& [pers, layout] : p.layouts) {
        if (pers == UsbPersonality::Storage) {
            if (!layout.interfaces.empty()) Fail(UsbPersonalityName(pers), "the disk personality has no serial ports");
        } else if (layout.interfaces.empty()) {
            Fail(UsbPersonalityName(pers), "no interfaces");
        }
        // Fastboot mode is the bootloader's one function; the other personalities carry ports.
        for (const auto& spec : layout.interfaces) {
            const bool fastbootRole = spec.role == PortRole::Fastboot;
            if (fastbootRole != (pers == UsbPersonality::Fastboot) ||
                (spec.role == PortRole::Adb && pers != UsbPersonality::Normal))
                Fail(fmt::format("usb.personalities.{}", UsbPersonalityName(pers)),
                     fmt::format("a {} interface does not belong here", PortRoleName(spec.role)));
        }
    }
    if ((p.fastboot.atPowerUp || p.fastboot.afterStreamingReset) && !p.layouts.contains(UsbPersonality::Fastboot))
        Fail("fastboot", "at_power_up and after_streaming_reset need a fastboot personality");
    if (p.fastboot.atPowerUp && p.powerUp == UsbPersonality::Storage)
        Fail("usb.power_up", "a unit that starts in fastboot mode does not power up as a disk");
    return p;
}

Profile LoadProfile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error(fmt::format("profile: cannot read {}", file.string()));
    std::stringstream ss;
    ss << in.rdbuf();
    return ParseProfile(ss.str());
}

}  // namespace flintcast::sim
