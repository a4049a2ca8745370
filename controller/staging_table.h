#pragma once
// The embedded files staged at start-up, in the order they are written, with the
// condition under which each is staged and how the second package names it.
#include <span>
#include <string_view>

#include "config/project_config.h"

namespace flintcast::controller {

enum class SecondPackage {
    Suffixed,    // the second package carries its own copy, named with the suffix "2"
    Unsuffixed,  // the second package takes the first package's resource
    Skipped,     // not staged for the second package
};

struct StagedItem {
    std::string_view type;      // resource type
    std::string_view name;      // resource name
    std::string_view fileName;  // name in the staging folder
    bool (*when)(const config::ProjectConfig&);
    SecondPackage second = SecondPackage::Suffixed;
    bool executable = false;
    // Staged when the package carries it; otherwise the system's own copy is used.
    bool optional = false;
};

// Images first, then the tools staged with them, each in table order.
std::span<const StagedItem> StagedItems();

}  // namespace flintcast::controller
