#pragma once
// Texts of the terminal's progress display: the finished phase line and the live bar. Pure
// functions, so the display can be checked without a terminal.
#include <cstdint>
#include <string>

#include "controller/run_phases.h"

namespace flintcast::cli {

// "1.5 MiB", "812 KiB", "96 B"
std::string ByteText(uint64_t bytes);
// "0:07", "1:02:03"
std::string DurationText(uint64_t ms);

// "✔ Backup                          ok      4.2 s"
std::string PhaseLine(const std::string& title, controller::PhaseOutcome outcome, uint32_t elapsedMs);

struct BarState {
    std::string title;  // the open phase
    int percent = 0;
    uint64_t bytesDone = 0;
    uint64_t bytesTotal = 0;
    double bytesPerSecond = 0;  // 0: not known yet
};
// "Image AMSS modem  [########............]  42%  1.2 MiB/2.9 MiB  310 KiB/s  0:06 left"
std::string BarLine(const BarState& state, int barWidth = 24);

}  // namespace flintcast::cli
