#pragma once
// Project rules of image staging and verification, read from the project traits.
#include <cstdint>

#include "config/project_traits.h"

namespace flintcast::controller {

// DBL, FSBL and OSBL boot chain and no AMSS header image, instead of the QCSBL/OEMSBL set.
using config::UsesBootStageImages;
// A compact EFS and a compact applications EFS image.
using config::UsesCompactEfsPair;
// Only the applications EFS image.
using config::UsesAppsEfsOnly;
inline bool HasPartitionTable(int32_t project) { return !config::HasNoPartitionTable(project); }
// The driver installer and the environment cleaners are staged.
inline bool StagesDriverTools(int32_t project) { return config::UsesDriverInstaller(project); }

}  // namespace flintcast::controller
