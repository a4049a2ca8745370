#pragma once
// The check after the restore. The restore's own items (at.bak, nv.bak, nv1.bak and the EFS
// mirror) must read back as the backup holds them, or the run fails; the archive's other items
// that the unit no longer holds as they were are listed for the operator.
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "engine/unit_archive.h"

namespace flintcast::engine {

// What the restore of a backup folder wrote: the identity values flagged in at.bak (with the
// text it keeps), the nv.bak and nv1.bak records, and the files of the EFS mirror that are
// files of `unit` too. Items the configuration writes itself (`configuredNv`, the NV command
// list) are left out: their value is the configuration's, not the backup's.
std::vector<archive::Item> RestoredItems(const std::filesystem::path& backupFolder, const archive::UnitArchive& unit,
                                         const std::set<uint16_t>& configuredNv);

// The labels of `expected` items that `now` does not hold with the same data.
std::vector<std::string> ItemsNotAsExpected(const std::vector<archive::Item>& expected,
                                            const std::vector<archive::Item>& now);

// The items of `unit` that `now` does not hold as they were, less `configuredNv`.
std::vector<archive::Item> ItemsNotAsTheyWere(const archive::UnitArchive& unit, const std::vector<archive::Item>& now,
                                              const std::set<uint16_t>& configuredNv);

// RF NV item 20208 as the run's correction writes it over a known bad calibration: a restore
// that left this value has done what it should.
bool IsCorrectedRfNv20208(const archive::Item& item);

}  // namespace flintcast::engine
