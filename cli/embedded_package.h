#pragma once
// The firmware package built into the program, as the resource source staging
// reads. The package folder's files are embedded under their own names; files of
// a second package carry the prefix "second.".
#include "controller/resource_source.h"

namespace flintcast::cli {

class EmbeddedPackage : public controller::ResourceSource {
public:
    std::optional<std::span<const uint8_t>> find(const controller::ResourceRef& resource) const override;
};

}  // namespace flintcast::cli
