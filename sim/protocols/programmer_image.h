#pragma once
// Checks what sits in download-mode RAM at the GO address: the device only runs a flash
// programmer built for it (see docs/simulated-programmer.md for the layout).
#include <cstdint>
#include <string>

#include "sim/model/dmss_ram.h"

namespace flintcast::sim {

inline constexpr char kProgrammerMagic[] = "FCPROG01";
inline constexpr uint32_t kProgrammerHeaderBytes = 32;

struct ProgrammerCheck {
    bool valid = false;
    std::string reason;  // why it was refused, for the simulator's log
};

ProgrammerCheck CheckProgrammer(const DmssRam& ram, uint32_t address, uint32_t projectType);

}  // namespace flintcast::sim
