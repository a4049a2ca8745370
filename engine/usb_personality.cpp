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

}  // namespace

bool IsPersonalityGroupA(int32_t p) { return config::PersonalityListOf(p) == config::PersonalityList::GroupA; }

std::span<const PersonalityCommand> PersonalityCommands(PersonalityTable table, int32_t p) {
    const bool disk = table == PersonalityTable::Disk;
    switch (config::PersonalityListOf(p)) {
        case config::PersonalityList::GroupA:
            return disk ? std::span<const PersonalityCommand>(kGroupADisk)
                        : std::span<const PersonalityCommand>(kGroupACdRom);
        case config::PersonalityList::CdRomD2: return kCdD2;
        case config::PersonalityList::CdRomD3: return kCdD3;
        case config::PersonalityList::HardDiskD3:
            return disk ? std::span<const PersonalityCommand>(kProject34Disk)
                        : std::span<const PersonalityCommand>(kProject34CdRom);
        case config::PersonalityList::CfgData: return kCfgDataRow;
        case config::PersonalityList::None: break;
    }
    return {};
}

bool ClosesDiagServiceAfterPersonality(int32_t project, bool phoneProject) {
    return !phoneProject && !config::KeepsDiagServiceOpen(project);
}

}  // namespace flintcast::engine
