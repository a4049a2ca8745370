#pragma once
// The open request of every image kind: its type byte, the bytes that follow
// the type (nothing, a header file or a name) and the status text posted first.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/project_traits.h"
#include "engine/image_kinds.h"
#include "engine/image_set.h"

namespace flintcast::engine {

using config::UsesBootStageImages;
using config::UsesCompanionType20;
using config::UsesFtlCompanion;
using config::UsesNewPcSuiteRequest;

struct OpenRequest {
    uint8_t type = 0;
    // A header file whose bytes follow the type.
    std::optional<ImageSlot> header;
    // A name (with its terminating zero) that follows the type.
    std::string name;
    std::string_view statusText;
};

// The companion image's variants differ in their open failure text as well.
enum class CompanionRequest { Ftl, Type20, Resource, NewPcSuite, PcSuite };
CompanionRequest CompanionRequestFor(int32_t project, bool resImage);
std::string_view CompanionOpenFailure(CompanionRequest request);

OpenRequest OpenRequestFor(ImageKind kind, int32_t project, bool resImage);

// The image file slot a kind writes.
ImageSlot FileSlotOf(ImageKind kind);

}  // namespace flintcast::engine
