// Volumes, disk interfaces and SCSI pass-through on Windows.
#include "platform/windows_storage.h"

#include <windows.h>
#include <ntddscsi.h>
#include <setupapi.h>
#include <winioctl.h>

#include <cstddef>
#include <cstdio>

#include <fmt/format.h>

#include "platform/scsi_pass_through_layout.h"

namespace flintcast::platform {
namespace {

// The byte layout of the pass-through buffer is built without the structure; it must agree with it.
static_assert(sizeof(SCSI_PASS_THROUGH) == kPassThroughLength);
static_assert(offsetof(SCSI_PASS_THROUGH, DataBufferOffset) == 24);
static_assert(offsetof(SCSI_PASS_THROUGH, SenseInfoOffset) == 32);
static_assert(offsetof(SCSI_PASS_THROUGH, Cdb) == 36);

// {53F56307-B6BF-11D0-94F2-00A0C91EFB8B}
const GUID kDiskInterfaceClass = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (valid()) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

bool WindowsMajorAbove4() {
    // GetVersionEx is deprecated but still answers the major version; what is asked is only
    // whether the system has the device interface functions (Windows 2000 and later).
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info)) return false;
#pragma GCC diagnostic pop
    return info.dwMajorVersion > 4;
}

bool RegistryText(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property, std::string& out) {
    char text[256] = {};
    if (!SetupDiGetDeviceRegistryPropertyA(set, &info, property, nullptr, reinterpret_cast<BYTE*>(text),
                                           sizeof(text) - 1, nullptr))
        return false;
    out = text;
    return true;
}

}  // namespace

std::vector<VolumeRecord> QueryVolumes() {
    std::vector<VolumeRecord> volumes;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const std::string path = fmt::format("\\\\?\\{}:", letter);
        Handle volume(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
        if (!volume.valid()) continue;
        std::vector<uint8_t> query = StorageDeviceQuery();
        std::vector<uint8_t> descriptor(kStorageDescriptorArea, 0);
        DWORD returned = 0;
        if (!DeviceIoControl(volume.get(), IOCTL_STORAGE_QUERY_PROPERTY, query.data(), static_cast<DWORD>(query.size()),
                             descriptor.data(), static_cast<DWORD>(descriptor.size()), &returned, nullptr))
            continue;
        descriptor.resize(returned);
        volumes.push_back({letter, path, ParseStorageDeviceDescriptor(descriptor)});
    }
    return volumes;
}

std::vector<DiskInterfaceRecord> ListDiskInterfaces(std::string& diagnosis) {
    std::vector<DiskInterfaceRecord> records;
    if (!WindowsMajorAbove4()) return records;
    HDEVINFO set = SetupDiGetClassDevsA(&kDiskInterfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        diagnosis = fmt::format("SetupDiGetClassDevs failed. (err={:x})", GetLastError());
        return records;
    }
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof(interfaceData);
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &kDiskInterfaceClass, index, &interfaceData)) {
            const DWORD error = GetLastError();
            if (error != ERROR_NO_MORE_ITEMS)
                diagnosis = fmt::format("SetupDiEnumDeviceInterfaces failed. (err={:x})", error);
            break;
        }
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, nullptr, 0, &size, nullptr);
        std::vector<uint8_t> detailBytes(size > sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) ? size
                                                                                          : sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A));
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(detailBytes.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof(info);
        if (!SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, static_cast<DWORD>(detailBytes.size()),
                                              nullptr, &info)) {
            diagnosis = fmt::format("SetupDiGetDeviceInterfaceDetail failed. (err={:x})", GetLastError());
            break;
        }
        DiskInterfaceRecord record;
        record.path = detail->DevicePath;
        if (RegistryText(set, info, SPDRP_FRIENDLYNAME, record.friendlyName) &&
            RegistryText(set, info, SPDRP_DEVICEDESC, record.description) &&
            RegistryText(set, info, SPDRP_HARDWAREID, record.hardwareId))
            records.push_back(std::move(record));
    }
    SetupDiDestroyDeviceInfoList(set);
    return records;
}

ScsiResult SendScsiPassThrough(const std::string& path, const ScsiRequest& request, uint8_t targetId,
                               const Clock& clock) {
    ScsiResult result;
    ScsiRequest scaled = request;
    scaled.timeoutMs = static_cast<uint32_t>(clock.realTimeoutMs(request.timeoutMs));
    std::vector<uint8_t> buffer = EncodeScsiPassThrough(scaled, targetId);
    if (buffer.empty()) {
        result.error = "request does not fit a pass-through";
        return result;
    }
    Handle disk(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr));
    if (!disk.valid()) {
        result.error = fmt::format("cannot open {}: error {}", path, GetLastError());
        return result;
    }
    DWORD returned = 0;
    if (!DeviceIoControl(disk.get(), IOCTL_SCSI_PASS_THROUGH, buffer.data(), static_cast<DWORD>(buffer.size()),
                         buffer.data(), static_cast<DWORD>(buffer.size()), &returned, nullptr)) {
        result.error = fmt::format("IOCTL_SCSI_PASS_THROUGH: error {}", GetLastError());
        result.opened = true;
        return result;
    }
    const auto answer = DecodeScsiPassThrough(buffer);
    if (!answer) {
        result.error = "the pass-through came back with lengths outside its areas";
        result.opened = true;
        return result;
    }
    result.delivered = true;
    result.opened = true;
    result.answer = *answer;
    return result;
}

}  // namespace flintcast::platform
