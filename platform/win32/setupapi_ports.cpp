#include "platform/win32/setupapi_ports.h"

#include <windows.h>
#include <setupapi.h>
#include <initguid.h>
#include <devguid.h>

#include <algorithm>

#include "platform/usb_hardware_id.h"
#include "platform/win32/win_text.h"

namespace flintcast::platform::win32 {
namespace {

// A text registry property of the device (the first string of a multi-string), nullopt when absent.
std::optional<std::wstring> Property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t buffer[512] = {};
    DWORD type = 0;
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, reinterpret_cast<BYTE*>(buffer),
                                             sizeof buffer - sizeof(wchar_t), nullptr))
        return std::nullopt;
    if (type != REG_SZ && type != REG_MULTI_SZ) return std::nullopt;
    return std::wstring(buffer);
}

// The "PortName" value of the device's own registry key ("COM5").
std::optional<std::wstring> PortName(HDEVINFO set, SP_DEVINFO_DATA& device) {
    HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE) return std::nullopt;
    wchar_t buffer[64] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    DWORD type = 0;
    const LSTATUS rc = ::RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    ::RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
    return std::wstring(buffer);
}

}  // namespace

std::optional<std::vector<UsbSerialPort>> ScanSetupApiSerialPorts() {
    HDEVINFO set = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return std::nullopt;
    std::vector<UsbSerialPort> ports;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        const auto hardwareId = Property(set, device, SPDRP_HARDWAREID);
        const auto ids = hardwareId ? ParseUsbHardwareId(Narrow(*hardwareId)) : std::nullopt;
        if (!ids) continue;  // not a USB port (COM1, COM2 and other on-board ports)
        const auto friendly = Property(set, device, SPDRP_FRIENDLYNAME);
        const auto portName = PortName(set, device);
        std::string name = portName ? Narrow(*portName) : std::string();
        if (name.empty() && friendly) name = PortNameFromFriendlyName(Narrow(*friendly)).value_or("");
        if (name.empty()) continue;
        UsbSerialPort port;
        port.name = name;
        // The friendly name without its " (COMn)" ending is what the interface calls itself.
        if (friendly) {
            std::string text = Narrow(*friendly);
            const std::string suffix = " (" + name + ")";
            if (text.size() > suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0)
                text.resize(text.size() - suffix.size());
            port.interfaceString = text;
        }
        port.interfaceNumber = ids->interfaceNumber < 0 ? 0 : ids->interfaceNumber;
        port.vendorId = ids->vendorId;
        port.productId = ids->productId;
        port.revision = ids->revision;
        if (const auto description = Property(set, device, SPDRP_DEVICEDESC)) port.product = Narrow(*description);
        // The parent USB device's instance id ties the interfaces of one unit together.
        wchar_t instance[512] = {};
        if (::SetupDiGetDeviceInstanceIdW(set, &device, instance, 511, nullptr)) port.usbDevice = Narrow(instance);
        ports.push_back(std::move(port));
    }
    ::SetupDiDestroyDeviceInfoList(set);
    std::sort(ports.begin(), ports.end(),
              [](const UsbSerialPort& a, const UsbSerialPort& b) { return PortNameLess(a.name, b.name); });
    return ports;
}

}  // namespace flintcast::platform::win32
