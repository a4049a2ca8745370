#pragma once
// Deterministic image contents: the same name and size always give the same bytes.
#include <cstdint>
#include <string_view>
#include <vector>

namespace flintcast::mkpackage {

std::vector<uint8_t> Filler(std::string_view seedText, std::size_t size);

}  // namespace flintcast::mkpackage
