#pragma once
// The firmware package built into the program, as a resource source for start-up staging:
// every resource is found under the name of the file it becomes.
#include "controller/resource_source.h"

namespace flintcast::cli {

class EmbeddedPackageSource : public controller::ResourceSource {
public:
    std::optional<std::span<const uint8_t>> find(const controller::ResourceRef& resource) const override;
};

}  // namespace flintcast::cli
