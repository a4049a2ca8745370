#pragma once
// The identity value table: read command, at.bak keys, write prefix and selector, quoting.
#include <span>
#include <string_view>

#include "engine/identity.h"

namespace flintcast::engine {

struct IdentityField {
    IdentityValue value;
    std::string_view readCommand;
    std::string_view backupKey;  // [BACKUP] key; empty for the values kept only as [Data]
    std::string_view dataKey;    // [Data] key
    std::string_view writePrefix;
    int selector;                // SendATValue selector
    bool quoted;                 // written back enclosed in double quotes
};

// All values in table order (the order of the at.bak keys).
std::span<const IdentityField> IdentityFields();
const IdentityField& FieldOf(IdentityValue value);

}  // namespace flintcast::engine
