// port_registrar: runs inside a Wine prefix beside the Linux port bridge and registers the
// simulated unit's serial ports as Windows lists USB serial ports, so that SetupAPI's ports
// class and the serial-port map show them with their hardware ids and "... (COMn)" names.
// Registry changes made here are seen at once by every program of the prefix (one wineserver);
// starting `wine reg` per change would take most of a second each.
//
// Commands, one per line on standard input, fields separated by tabs; each is answered with
// one line "ok" or "error <text>" on standard output:
//   add    COMn  hardware-id  friendly-name  description
//   remove COMn
//   clear                      (removes every port this program registered, also in an earlier run)
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsbEnum = "System\\CurrentControlSet\\Enum\\USB";
constexpr const char* kSerialMap = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr const char* kPortsClass = "{4D36E978-E325-11CE-BFC1-08002BE10318}";
// Instance names of the ports registered here start with this, so a later run can find them.
constexpr const char* kInstancePrefix = "FCSIM&";

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t')) fields.push_back(field);
    return fields;
}

// "USB\VID_F1C0&PID_0046&REV_0100&MI_00" -> "VID_F1C0&PID_0046&MI_00" (the device key's name)
// and the short hardware id "USB\VID_F1C0&PID_0046&MI_00" Windows lists second.
std::string DeviceKeyName(const std::string& hardwareId) {
    std::string rest = hardwareId.rfind("USB\\", 0) == 0 ? hardwareId.substr(4) : hardwareId;
    const auto rev = rest.find("&REV_");
    if (rev != std::string::npos) {
        const auto end = rest.find('&', rev + 1);
        rest.erase(rev, end == std::string::npos ? std::string::npos : end - rev);
    }
    return rest;
}

bool SetString(HKEY key, const char* name, const std::string& value, DWORD type = REG_SZ) {
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool SetMultiString(HKEY key, const char* name, const std::vector<std::string>& values) {
    std::string data;
    for (const auto& v : values) data += v + '\0';
    data += '\0';
    return RegSetValueExA(key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

std::string SerialMapName(const std::string& com) { return "\\Device\\FcSimSerial" + com.substr(3); }

std::string InstancePath(const std::string& hardwareId, const std::string& com) {
    return std::string(kUsbEnum) + "\\" + DeviceKeyName(hardwareId) + "\\" + kInstancePrefix + com.substr(3);
}

std::string Remove(const std::string& com) {
    // The instance may sit under any device key: look for its name under each.
    HKEY usb = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUsbEnum, 0, KEY_ALL_ACCESS, &usb) == ERROR_SUCCESS) {
        const std::string instance = std::string(kInstancePrefix) + com.substr(3);
        char name[256];
        for (DWORD i = 0;; ++i) {
            DWORD size = sizeof(name);
            if (RegEnumKeyExA(usb, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            const std::string path = std::string(name) + "\\" + instance;
            RegDeleteTreeA(usb, path.c_str());
        }
        RegCloseKey(usb);
    }
    HKEY map = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialMap, 0, KEY_ALL_ACCESS, &map) == ERROR_SUCCESS) {
        RegDeleteValueA(map, SerialMapName(com).c_str());
        RegCloseKey(map);
    }
    return "ok";
}

std::string Add(const std::string& com, const std::string& hardwareId, const std::string& friendly,
                const std::string& description) {
    if (com.rfind("COM", 0) != 0 || com.size() < 4) return "error bad port name " + com;
    Remove(com);
    const std::string path = InstancePath(hardwareId, com);
    HKEY instance = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &instance, nullptr) !=
        ERROR_SUCCESS)
        return "error cannot create " + path;
    bool ok = SetString(instance, "ClassGUID", kPortsClass) && SetString(instance, "Class", "Ports") &&
              SetMultiString(instance, "HardwareID", {hardwareId, "USB\\" + DeviceKeyName(hardwareId)}) &&
              SetString(instance, "FriendlyName", friendly) && SetString(instance, "DeviceDesc", description) &&
              SetString(instance, "Mfg", "Flintcast simulator");
    HKEY parameters = nullptr;
    ok = ok && RegCreateKeyExA(instance, "Device Parameters", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &parameters,
                               nullptr) == ERROR_SUCCESS;
    if (parameters) {
        ok = ok && SetString(parameters, "PortName", com);
        RegCloseKey(parameters);
    }
    RegCloseKey(instance);
    HKEY map = nullptr;
    ok = ok && RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSerialMap, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                               nullptr, &map, nullptr) == ERROR_SUCCESS;
    if (map) {
        ok = ok && SetString(map, SerialMapName(com).c_str(), com);
        RegCloseKey(map);
    }
    return ok ? "ok" : "error cannot write the values of " + path;
}

std::string Clear() {
    HKEY usb = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUsbEnum, 0, KEY_ALL_ACCESS, &usb) != ERROR_SUCCESS) return "ok";
    char device[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof(device);
        if (RegEnumKeyExA(usb, i, device, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY deviceKey = nullptr;
        if (RegOpenKeyExA(usb, device, 0, KEY_ALL_ACCESS, &deviceKey) != ERROR_SUCCESS) continue;
        std::vector<std::string> ours;
        char instance[256];
        for (DWORD j = 0;; ++j) {
            DWORD n = sizeof(instance);
            if (RegEnumKeyExA(deviceKey, j, instance, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            if (std::strncmp(instance, kInstancePrefix, std::strlen(kInstancePrefix)) == 0) ours.emplace_back(instance);
        }
        for (const auto& name : ours) RegDeleteTreeA(deviceKey, name.c_str());
        RegCloseKey(deviceKey);
    }
    RegCloseKey(usb);
    HKEY map = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialMap, 0, KEY_ALL_ACCESS, &map) == ERROR_SUCCESS) {
        std::vector<std::string> ours;
        char name[256];
        for (DWORD i = 0;; ++i) {
            DWORD n = sizeof(name);
            if (RegEnumValueA(map, i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            if (std::strncmp(name, "\\Device\\FcSimSerial", 19) == 0) ours.emplace_back(name);
        }
        for (const auto& value : ours) RegDeleteValueA(map, value.c_str());
        RegCloseKey(map);
    }
    return "ok";
}

}  // namespace

int main() {
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto f = Split(line);
        std::string answer;
        if (f.size() == 5 && f[0] == "add") answer = Add(f[1], f[2], f[3], f[4]);
        else if (f.size() == 2 && f[0] == "remove") answer = Remove(f[1]);
        else if (f.size() == 1 && f[0] == "clear") answer = Clear();
        else answer = "error unknown command: " + line;
        std::printf("%s\n", answer.c_str());
        std::fflush(stdout);
    }
    return 0;
}
