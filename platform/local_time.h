#pragma once
// The wall-clock local time, for names and lines that carry a date (never for waits: those
// read the scaled Clock).
#include <ctime>

namespace flintcast::platform {

std::tm LocalTimeNow();

}  // namespace flintcast::platform
