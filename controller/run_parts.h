#pragma once
// The engine parts a presentation hands to the controller or shows: the device data service a
// worker backs up and restores with, the staged image set, and the NV item catalogues (the demo
// unit's profile holds their items). Presentations name them here, never in engine/.
#include "engine/device_data_service.h"
#include "engine/image_set.h"
#include "engine/nv_catalogues.h"

namespace flintcast::controller {

using engine::DeviceDataService;
using engine::ImageSet;

using engine::DefaultNvCatalogue;
using engine::LteNvCatalogue;
using engine::LteRfNvCatalogue;

}  // namespace flintcast::controller
