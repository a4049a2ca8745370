#pragma once
// The JSON event schema documented in docs/json-events.md (its "json-schema" block), and the check
// of one event against it.
#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "tests/run/update_run_fixture.h"

namespace flintcast::testing {

inline nlohmann::json DocumentedEventSchema() {
    const std::string doc = ReadText(std::filesystem::path(FLINTCAST_SOURCE_DIR) / "docs/json-events.md");
    const std::string open = "```json-schema\n";
    const auto start = doc.find(open);
    if (start == std::string::npos) return nullptr;
    const auto end = doc.find("```", start + open.size());
    return nlohmann::json::parse(doc.substr(start + open.size(), end - start - open.size()), nullptr, false);
}

inline bool HasJsonType(const nlohmann::json& value, const std::string& type) {
    if (type == "integer") return value.is_number_integer();
    if (type == "string") return value.is_string();
    if (type == "boolean") return value.is_boolean();
    if (type == "array") return value.is_array();
    return false;
}

// Empty when `event` fits the schema, else what is wrong with it.
inline std::string SchemaProblem(const nlohmann::json& schema, const nlohmann::json& event) {
    if (!event.is_object()) return "not an object";
    if (event.value("v", 0) != 1) return "no version field v = 1";
    const std::string type = event.value("event", "");
    if (!schema.contains(type)) return "undocumented event type '" + type + "'";
    const auto& fields = schema[type];
    for (const auto& [name, value] : event.items()) {
        if (name == "v" || name == "event") continue;
        if (!fields.contains(name)) return "undocumented field '" + name + "' in " + type;
    }
    for (const auto& [name, spec] : fields.items()) {
        std::string wanted = spec.get<std::string>();
        const bool optional = !wanted.empty() && wanted.back() == '?';
        if (optional) wanted.pop_back();
        if (!event.contains(name)) {
            if (optional) continue;
            return "missing field '" + name + "' in " + type;
        }
        if (!HasJsonType(event[name], wanted)) return "field '" + name + "' of " + type + " is not " + wanted;
    }
    return {};
}

}  // namespace flintcast::testing
