#include "cli/embedded_resources.h"

#include "embedded/package.h"

namespace flintcast::cli {

std::optional<std::span<const uint8_t>> EmbeddedPackageSource::find(const controller::ResourceRef& resource) const {
    // The build embeds one package; a second package would need files of its own.
    if (resource.secondPackage) return std::nullopt;
    return embedded::package::Find(resource.fileName);
}

}  // namespace flintcast::cli
