#pragma once
// Where staging takes the tool's embedded files from. A resource is named by its
// type ("MBN") and name ("AmssFile", "AmssFile2" for the second package); the name
// of the file it becomes is passed along, since a package folder embedded at build
// time keeps its files under their own names.
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace flintcast::controller {

struct ResourceRef {
    std::string type;
    std::string name;
    std::string fileName;
    bool secondPackage = false;
};

class ResourceSource {
public:
    virtual ~ResourceSource() = default;
    virtual std::optional<std::span<const uint8_t>> find(const ResourceRef& resource) const = 0;
};

// Resources held in memory, looked up by type and name (tests).
class MapResourceSource : public ResourceSource {
public:
    void add(std::string type, std::string name, std::vector<uint8_t> bytes) {
        resources_[{std::move(type), std::move(name)}] = std::move(bytes);
    }
    std::optional<std::span<const uint8_t>> find(const ResourceRef& resource) const override {
        const auto it = resources_.find({resource.type, resource.name});
        if (it == resources_.end()) return std::nullopt;
        return std::span<const uint8_t>(it->second);
    }

private:
    std::map<std::pair<std::string, std::string>, std::vector<uint8_t>> resources_;
};

}  // namespace flintcast::controller
