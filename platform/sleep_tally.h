#pragma once
// The waits the tool asked for: every Clock::sleepMs of the process, summed in tool
// milliseconds over all threads and clocks. A measured run reads it before and after and sets
// the difference against its wall time; nothing in the tool's own logic reads it.
#include <cstdint>

namespace flintcast::platform {

struct SleepTally {
    uint64_t toolMs = 0;  // tool milliseconds asked for
    uint64_t sleeps = 0;  // number of sleepMs calls that waited
};

SleepTally ReadSleepTally();

}  // namespace flintcast::platform
