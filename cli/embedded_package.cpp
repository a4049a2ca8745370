#include "cli/embedded_package.h"

#include "embedded/package.h"

namespace flintcast::cli {

std::optional<std::span<const uint8_t>> EmbeddedPackage::find(const controller::ResourceRef& resource) const {
    return embedded::package::Find(resource.secondPackage ? "second." + resource.fileName : resource.fileName);
}

}  // namespace flintcast::cli
