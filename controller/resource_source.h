#pragma once
// Where staging takes the tool's embedded files from: looked up by resource type
// ("MBN", "HEX", ...) and name ("AmssFile"). The program uses the package built into
// it; tests use a map.
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace flintcast::controller {

class ResourceSource {
public:
    virtual ~ResourceSource() = default;
    virtual std::optional<std::span<const uint8_t>> find(std::string_view type, std::string_view name) const = 0;
};

class MapResourceSource : public ResourceSource {
public:
    void add(std::string type, std::string name, std::vector<uint8_t> bytes) {
        resources_[{std::move(type), std::move(name)}] = std::move(bytes);
    }
    std::optional<std::span<const uint8_t>> find(std::string_view type, std::string_view name) const override {
        const auto it = resources_.find({std::string(type), std::string(name)});
        if (it == resources_.end()) return std::nullopt;
        return std::span<const uint8_t>(it->second);
    }

private:
    std::map<std::pair<std::string, std::string>, std::vector<uint8_t>> resources_;
};

}  // namespace flintcast::controller
