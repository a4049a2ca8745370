#pragma once
// gearswap.log in the tool's log folder: what the mode switch program sent and what the disk
// answered, for the operator and for support.
#include <string>
#include <vector>

namespace flintcast::modeswitch {

// Appends the lines; nothing is written when there are none (no disk was found). The log starts
// over once it has grown past a limit.
void AppendToSwitchLog(const std::vector<std::string>& lines);

}  // namespace flintcast::modeswitch
