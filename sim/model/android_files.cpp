#include "sim/model/android_files.h"

#include <sstream>

#include <nlohmann/json.hpp>

#include "sim/model/sha256.h"

namespace flintcast::sim {
namespace {

std::string Parent(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::optional<std::string> AndroidFiles::Normalize(std::string_view path) {
    if (path.empty() || path.front() != '/' || path.size() > 1024) return std::nullopt;
    std::string out;
    std::stringstream ss{std::string(path)};
    for (std::string part; std::getline(ss, part, '/');) {
        if (part.empty()) continue;
        if (part == "." || part == "..") return std::nullopt;
        out += "/" + part;
    }
    return out.empty() ? "/" : out;
}

AndroidFiles::AndroidFiles() { entries_["/"] = {true, {}, 0755, 0}; }

bool AndroidFiles::MakeDirs(const std::string& path, uint32_t mode) {
    const auto norm = Normalize(path);
    if (!norm) return false;
    if (const auto it = entries_.find(*norm); it != entries_.end()) return it->second.directory;
    if (!MakeDirs(Parent(*norm), 0755)) return false;
    entries_[*norm] = {true, {}, mode, 0};
    return true;
}

std::string AndroidFiles::Write(std::string_view path, std::vector<uint8_t> data, uint32_t mode, uint32_t mtime) {
    const auto norm = Normalize(path);
    if (!norm || *norm == "/") return "Invalid path";
    if (const auto it = entries_.find(*norm); it != entries_.end() && it->second.directory) return "Is a directory";
    if (!MakeDirs(Parent(*norm))) return "Not a directory";
    entries_[*norm] = {false, std::move(data), mode & 07777, mtime};
    return {};
}

bool AndroidFiles::Remove(std::string_view path) {
    const auto norm = Normalize(path);
    if (!norm || *norm == "/") return false;
    const auto it = entries_.find(*norm);
    if (it == entries_.end()) return false;
    if (it->second.directory && !List(*norm).empty()) return false;
    entries_.erase(it);
    return true;
}

const AndroidEntry* AndroidFiles::Find(std::string_view path) const {
    const auto norm = Normalize(path);
    if (!norm) return nullptr;
    const auto it = entries_.find(*norm);
    return it == entries_.end() ? nullptr : &it->second;
}

std::vector<std::pair<std::string, const AndroidEntry*>> AndroidFiles::List(std::string_view directory) const {
    std::vector<std::pair<std::string, const AndroidEntry*>> out;
    const auto norm = Normalize(directory);
    if (!norm) return out;
    const std::string prefix = *norm == "/" ? "/" : *norm + "/";
    for (auto it = entries_.lower_bound(prefix); it != entries_.end() && it->first.rfind(prefix, 0) == 0; ++it) {
        const auto name = it->first.substr(prefix.size());
        if (!name.empty() && name.find('/') == std::string::npos) out.emplace_back(name, &it->second);
    }
    return out;
}

nlohmann::json AndroidFiles::ToJson() const {
    auto j = nlohmann::json::object();
    for (const auto& [path, entry] : entries_)
        if (!entry.directory) j[path] = {{"size", entry.data.size()}, {"sha256", Sha256Hex(entry.data)}};
    return j;
}

}  // namespace flintcast::sim
