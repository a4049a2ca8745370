#pragma once
// The NV item catalogues: which items a backup reads, in the order it reads them. They are
// constant data shared by every worker; the names only appear in messages.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace flintcast::engine {

struct NvEntry {
    int32_t id = -1;  // only the low 16 bits travel
    std::string name;
};

using NvCatalogue = std::vector<NvEntry>;

// CDMA/EVDO band-class calibration, led by the two UIT result items (52 entries).
const NvCatalogue& EvdoNvCatalogue();
// Subscription and EVDO access-authentication items (12 entries).
const NvCatalogue& IdentityNvCatalogue();
// GSM linear-PA segments and per-band LTE calibration items (250 entries).
const NvCatalogue& LteNvCatalogue();
// Thermistor, VCO, crystal, GSM/EDGE and WCDMA calibration items (786 entries).
const NvCatalogue& DefaultNvCatalogue();
// RF NV items of LTE bands 1, 3 and 7, read through the factory-test subsystem (27 entries).
const NvCatalogue& LteRfNvCatalogue();
// The items of project 12 with its own backup variant (349 entries).
const NvCatalogue& Project12NvCatalogue();

// The name of an item as the catalogues give it; an item without a known name gets one
// made from its id ("NV_ITEM_1882").
std::string NvItemName(int32_t id);

}  // namespace flintcast::engine
