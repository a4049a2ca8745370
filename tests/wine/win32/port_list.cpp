// port_list: the serial ports SetupAPI shows in the ports class, one line each:
// friendly name, first hardware id and port name, separated by tabs.
#include <initguid.h>
#include <windows.h>
#include <setupapi.h>
#include <devguid.h>

#include <cstdio>

int main() {
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "SetupDiGetClassDevs: error %lu\n", GetLastError());
        return 1;
    }
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof(info);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info); ++i) {
        char name[256] = "", hardwareId[256] = "", port[64] = "";
        SetupDiGetDeviceRegistryPropertyA(set, &info, SPDRP_FRIENDLYNAME, nullptr, reinterpret_cast<BYTE*>(name),
                                          sizeof(name), nullptr);
        SetupDiGetDeviceRegistryPropertyA(set, &info, SPDRP_HARDWAREID, nullptr, reinterpret_cast<BYTE*>(hardwareId),
                                          sizeof(hardwareId), nullptr);
        HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key != INVALID_HANDLE_VALUE) {
            DWORD size = sizeof(port);
            RegQueryValueExA(key, "PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(port), &size);
            RegCloseKey(key);
        }
        std::printf("%s\t%s\t%s\n", name, hardwareId, port);
    }
    SetupDiDestroyDeviceInfoList(set);
    return 0;
}
