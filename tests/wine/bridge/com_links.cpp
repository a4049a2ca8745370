#include "tests/wine/bridge/com_links.h"

#include <cctype>

namespace flintcast::winebridge {
namespace {

std::optional<int> NumberAfter(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    int n = 0;
    for (size_t i = prefix.size(); i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])) || n > 1000) return std::nullopt;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

}  // namespace

std::optional<int> ComNumberFor(const std::string& ttyName, int firstCom) {
    // Windows numbers COM ports up to 255.
    auto within = [](int com) { return com <= 255 ? std::optional<int>(com) : std::nullopt; };
    if (auto n = NumberAfter(ttyName, "ttyUSB")) return within(firstCom + *n);
    if (auto n = NumberAfter(ttyName, "ttyACM")) return within(firstCom + 50 + *n);
    return std::nullopt;
}

LinkChanges Compare(const ComMap& current, const ComMap& wanted) {
    LinkChanges changes;
    for (const auto& [com, port] : current) {
        const auto it = wanted.find(com);
        if (it == wanted.end() || !(it->second == port)) changes.remove.push_back(com);
    }
    for (const auto& [com, port] : wanted) {
        const auto it = current.find(com);
        if (it == current.end() || !(it->second == port)) changes.add.push_back(com);
    }
    return changes;
}

}  // namespace flintcast::winebridge
