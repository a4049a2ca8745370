#pragma once
// Project rules of image staging and verification, one named predicate each.
#include <cstdint>

namespace flintcast::controller {

// Projects 43 to 47 boot through DBL, FSBL and OSBL and have no AMSS header image;
// the others use the QCSBL/OEMSBL set and an AMSS header.
inline bool UsesBootStageImages(int32_t project) { return project >= 43 && project <= 47; }
// Project 35 has no partition table image.
inline bool HasPartitionTable(int32_t project) { return project != 35; }
// Project 7 writes a compact EFS and a compact applications EFS image.
inline bool UsesCompactEfsPair(int32_t project) { return project == 7; }
// Project 46 writes only the applications EFS image.
inline bool UsesAppsEfsOnly(int32_t project) { return project == 46; }
// Projects that carry the driver installer and the environment cleaners.
inline bool StagesDriverTools(int32_t project) {
    return project == 6 || project == 19 || project == 20 || project == 42;
}

}  // namespace flintcast::controller
