#pragma once
// The few shell commands adbd answers here ("shell:CMD" without a terminal): getprop, echo, ls
// and cat over the unit's Android files. Anything else is answered as the unit's shell answers
// a command it does not have.
#include <map>
#include <string>
#include <string_view>

#include "sim/model/android_files.h"

namespace flintcast::sim {

std::string RunAdbShellCommand(std::string_view command, const AndroidFiles& files,
                               const std::map<std::string, std::string>& properties);

}  // namespace flintcast::sim
