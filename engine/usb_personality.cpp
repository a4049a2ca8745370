#include "engine/usb_personality.h"

#include <array>

namespace flintcast::engine {
namespace {

constexpr std::string_view kFailDisk0 = "Fail to switch disk 0";
constexpr std::string_view kFailDisk1 = "Fail to switch disk 1";
constexpr std::string_view kFailDisk2 = "Fail to switch disk 2";
constexpr std::string_view kFailCd0 = "Fail to switch CDROM mode 0";
constexpr std::string_view kFailCd1 = "Fail to switch CDROM mode 1";

constexpr std::string_view kDiskHd = "AT+DISK=0,\"HD\"\r\n\r\n";
constexpr std::string_view kDiskCd = "AT+DISK=0,\"CD\"\r\n\r\n";
constexpr std::string_view kDiskRo = "AT+DISK=1,\"RO\"\r\n\r\n";
constexpr std::string_view kDiskD2 = "AT+DISK=8,\"D2\"\r\n\r\n";
constexpr std::string_view kDiskD3 = "AT+DISK=8,\"D3\"\r\n\r\n";
constexpr std::string_view kCfgData = "AT+CFGDATA=2,1,1\r\n\r\n";

constexpr std::array<PersonalityCommand, 3> kGroupADisk{
    {{kDiskHd, kFailDisk0}, {kDiskRo, kFailDisk1}, {kDiskD3, kFailDisk2}}};
constexpr std::array<PersonalityCommand, 3> kGroupACdRom{
    {{kDiskCd, kFailDisk0}, {kDiskRo, kFailDisk1}, {kDiskD3, kFailDisk2}}};
constexpr std::array<PersonalityCommand, 2> kCdD2{{{kDiskCd, kFailCd0}, {kDiskD2, kFailCd1}}};
constexpr std::array<PersonalityCommand, 2> kCdD3{{{kDiskCd, kFailCd0}, {kDiskD3, kFailCd1}}};
constexpr std::array<PersonalityCommand, 3> kProject34Disk{
    {{kDiskHd, kFailDisk0}, {kDiskRo, kFailDisk1}, {kDiskD3, kFailDisk2}}};
constexpr std::array<PersonalityCommand, 2> kProject34CdRom{
    {{kDiskHd, kFailDisk0}, {kDiskD3, kFailDisk2}}};
constexpr std::array<PersonalityCommand, 1> kCfgDataRow{{{kCfgData, kFailDisk0}}};

bool InRange(int32_t p, int32_t lo, int32_t hi) {
    return p >= lo && p <= hi;
}

}  // namespace

bool IsPersonalityGroupA(int32_t p) {
    return p == 3 || p == 12 || InRange(p, 15, 18) || p == 22 || InRange(p, 27, 29);
}

std::span<const PersonalityCommand> PersonalityCommands(PersonalityTable table, int32_t p) {
    const bool disk = table == PersonalityTable::Disk;
    if (IsPersonalityGroupA(p)) {
        return disk ? std::span<const PersonalityCommand>(kGroupADisk)
                    : std::span<const PersonalityCommand>(kGroupACdRom);
    }
    if (p == 13 || p == 23) {
        return kCdD2;
    }
    if (p == 21 || InRange(p, 24, 26) || InRange(p, 30, 33) || p == 39) {
        return kCdD3;
    }
    if (p == 34) {
        return disk ? std::span<const PersonalityCommand>(kProject34Disk)
                    : std::span<const PersonalityCommand>(kProject34CdRom);
    }
    if (p == 36 || p == 37 || p == 41) {
        return kCfgDataRow;
    }
    return {};
}

bool UsesCdma2000DiskSwitch(int32_t project) {
    return project == 35;
}

bool ClosesDiagServiceAfterPersonality(int32_t project, bool phoneProject) {
    return !phoneProject && project != 40;
}

}  // namespace flintcast::engine
