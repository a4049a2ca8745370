#pragma once
// The engine parts a presentation hands to the controller or shows: the device data service a
// worker backs up and restores with, the worker's host, the staged image set, the NV item
// catalogues (the demo unit's profile holds their items), the unit archive and which lines are
// warnings. Presentations name them here, never in engine/.
#include "controller/archive_write_back.h"
#include "engine/device_data_service.h"
#include "engine/device_directory.h"
#include "engine/image_set.h"
#include "engine/nv_catalogues.h"
#include "engine/reporter.h"
#include "engine/unit_archive.h"

namespace flintcast::controller {

using engine::DeviceDataService;
using engine::DeviceDirectory;
using engine::IsWarningLine;
namespace archive = engine::archive;
using engine::ImageSet;

using engine::DefaultNvCatalogue;
using engine::LteNvCatalogue;
using engine::LteRfNvCatalogue;

}  // namespace flintcast::controller
