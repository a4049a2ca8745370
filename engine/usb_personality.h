#pragma once
// The final USB personality of a device after the update: which AT commands
// put it into disk or CD-ROM mode, per project, with the text that reports
// each failed command.
#include <cstdint>
#include <span>
#include <string_view>

#include "config/project_traits.h"

namespace flintcast::engine {

enum class PersonalityTable { Disk, CdRom };

struct PersonalityCommand {
    std::string_view command;      // sent as is, terminator included
    std::string_view failureText;  // ShowError text when the command fails
};

// The devices that show a hard disk and a read-only drive.
bool IsPersonalityGroupA(int32_t project);

// The commands of the project's row of the table, in order; empty for
// projects that keep their personality.
std::span<const PersonalityCommand> PersonalityCommands(PersonalityTable table, int32_t project);

// The CDMA2000 card only sends the D3 switch and keeps the diagnostic service open.
using config::UsesCdma2000DiskSwitch;
inline constexpr std::string_view kCdma2000DiskCommand = "AT+DISK=8,\"D3\"\r\n\r\n";
inline constexpr std::string_view kCdma2000DiskFailure = "Fail to switch disk mode(CDMA2000)";

inline constexpr std::string_view kMakerNameCommand = "AT+GMI=QUELLMARK HOLDINGS LIMITED\r\n\r\n";
inline constexpr std::string_view kMakerNameFailure = "Fail to write GMI";

// After the personality switch the diagnostic service is closed, except on
// phones and on the cards whose firmware has no such service.
bool ClosesDiagServiceAfterPersonality(int32_t project, bool phoneProject);

}  // namespace flintcast::engine
