#pragma once
// The simulator launcher is shared by every test area that drives flintcast-devsim.
#include "tests/support/sim_process.h"
