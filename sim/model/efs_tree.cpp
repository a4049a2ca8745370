#include "sim/model/efs_tree.h"

#include <algorithm>

namespace flintcast::sim {

EfsTree::EfsTree() { nodes_["/"] = EfsNode{true, kEfsModeDir | 0777, {}}; }

std::optional<std::string> EfsTree::Normalize(std::string_view path) {
    if (path.empty() || path.size() > kEfsMaxPath) return std::nullopt;
    std::string out;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t end = path.find('/', pos);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view part = path.substr(pos, end - pos);
        if (part == "." || part == "..") return std::nullopt;
        if (!part.empty()) {
            if (part.find('\0') != std::string_view::npos) return std::nullopt;
            out += '/';
            out += part;
        }
        pos = end + 1;
    }
    if (out.empty()) out.push_back('/');
    return out;
}

std::string EfsTree::ParentOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool EfsTree::HasChildren(const std::string& path) const {
    const std::string prefix = path == "/" ? "/" : path + "/";
    const auto it = nodes_.upper_bound(prefix);
    return it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0 &&
           it->first != path;
}

const EfsNode* EfsTree::Find(std::string_view path) const {
    const auto norm = Normalize(path);
    if (!norm) return nullptr;
    const auto it = nodes_.find(*norm);
    return it == nodes_.end() ? nullptr : &it->second;
}

bool EfsTree::AddDir(std::string_view path, uint32_t perms) {
    const auto norm = Normalize(path);
    if (!norm) return false;
    std::string partial;
    size_t pos = 1;
    while (pos <= norm->size()) {
        size_t end = norm->find('/', pos);
        if (end == std::string::npos) end = norm->size();
        partial = norm->substr(0, end);
        auto it = nodes_.find(partial);
        if (it == nodes_.end()) {
            nodes_[partial] = EfsNode{true, kEfsModeDir | (perms & 0777), {}};
        } else if (!it->second.isDir) {
            return false;
        }
        pos = end + 1;
    }
    return true;
}

bool EfsTree::AddFile(std::string_view path, std::vector<uint8_t> contents, uint32_t perms) {
    const auto norm = Normalize(path);
    if (!norm || *norm == "/" || !AddDir(ParentOf(*norm))) return false;
    auto it = nodes_.find(*norm);
    if (it != nodes_.end()) {
        if (it->second.isDir) return false;
        usedBytes_ -= it->second.contents.size();
    }
    if (usedBytes_ + contents.size() > kEfsCapacityBytes) return false;
    usedBytes_ += contents.size();
    nodes_[*norm] = EfsNode{false, kEfsModeFile | (perms & 0777), std::move(contents)};
    return true;
}

int32_t EfsTree::MakeDir(std::string_view path, uint32_t perms) {
    const auto norm = Normalize(path);
    if (!norm) return efs_errno::kInvalid;
    if (nodes_.count(*norm)) return efs_errno::kExists;
    const auto parent = nodes_.find(ParentOf(*norm));
    if (parent == nodes_.end()) return efs_errno::kNoEntry;
    if (!parent->second.isDir) return efs_errno::kNotDirectory;
    nodes_[*norm] = EfsNode{true, kEfsModeDir | (perms & 0777), {}};
    return efs_errno::kOk;
}

int32_t EfsTree::RemoveDir(std::string_view path) {
    const auto norm = Normalize(path);
    if (!norm || *norm == "/") return efs_errno::kInvalid;
    const auto it = nodes_.find(*norm);
    if (it == nodes_.end()) return efs_errno::kNoEntry;
    if (!it->second.isDir) return efs_errno::kNotDirectory;
    if (HasChildren(*norm)) return efs_errno::kNotEmpty;
    nodes_.erase(it);
    return efs_errno::kOk;
}

int32_t EfsTree::Unlink(std::string_view path) {
    const auto norm = Normalize(path);
    if (!norm) return efs_errno::kInvalid;
    const auto it = nodes_.find(*norm);
    if (it == nodes_.end()) return efs_errno::kNoEntry;
    if (it->second.isDir) return efs_errno::kIsDirectory;
    usedBytes_ -= it->second.contents.size();
    nodes_.erase(it);
    return efs_errno::kOk;
}

int32_t EfsTree::OpenFile(std::string_view path, bool create, bool truncate, uint32_t perms) {
    const auto norm = Normalize(path);
    if (!norm) return efs_errno::kInvalid;
    const auto it = nodes_.find(*norm);
    if (it == nodes_.end()) {
        if (!create) return efs_errno::kNoEntry;
        const auto parent = nodes_.find(ParentOf(*norm));
        if (parent == nodes_.end()) return efs_errno::kNoEntry;
        if (!parent->second.isDir) return efs_errno::kNotDirectory;
        nodes_[*norm] = EfsNode{false, kEfsModeFile | (perms & 0777), {}};
        return efs_errno::kOk;
    }
    if (it->second.isDir) return efs_errno::kIsDirectory;
    if (truncate) {
        usedBytes_ -= it->second.contents.size();
        it->second.contents.clear();
    }
    return efs_errno::kOk;
}

int32_t EfsTree::Read(std::string_view path, uint32_t offset, uint32_t count,
                      std::vector<uint8_t>& out) const {
    out.clear();
    const EfsNode* node = Find(path);
    if (node == nullptr) return efs_errno::kNoEntry;
    if (node->isDir) return efs_errno::kIsDirectory;
    if (offset >= node->contents.size()) return efs_errno::kOk;
    const size_t take = std::min<size_t>(count, node->contents.size() - offset);
    out.assign(node->contents.begin() + offset, node->contents.begin() + offset + take);
    return efs_errno::kOk;
}

int32_t EfsTree::Write(std::string_view path, uint32_t offset, const uint8_t* data, size_t count) {
    const auto norm = Normalize(path);
    if (!norm) return efs_errno::kInvalid;
    const auto it = nodes_.find(*norm);
    if (it == nodes_.end()) return efs_errno::kNoEntry;
    if (it->second.isDir) return efs_errno::kIsDirectory;
    std::vector<uint8_t>& contents = it->second.contents;
    const uint64_t end = uint64_t{offset} + count;
    if (end > contents.size()) {
        const uint64_t growth = end - contents.size();
        if (usedBytes_ + growth > kEfsCapacityBytes) return efs_errno::kNoSpace;
        contents.resize(end, 0);
        usedBytes_ += growth;
    }
    std::copy(data, data + count, contents.begin() + offset);
    return efs_errno::kOk;
}

int32_t EfsTree::List(std::string_view path, std::vector<std::string>& names) const {
    names.clear();
    const auto norm = Normalize(path);
    if (!norm) return efs_errno::kInvalid;
    const auto it = nodes_.find(*norm);
    if (it == nodes_.end()) return efs_errno::kNoEntry;
    if (!it->second.isDir) return efs_errno::kNotDirectory;
    const std::string prefix = *norm == "/" ? "/" : *norm + "/";
    for (auto child = nodes_.upper_bound(prefix); child != nodes_.end(); ++child) {
        if (child->first.compare(0, prefix.size(), prefix) != 0) break;
        const std::string rest = child->first.substr(prefix.size());
        if (!rest.empty() && rest.find('/') == std::string::npos) names.push_back(rest);
    }
    return efs_errno::kOk;
}

size_t EfsTree::FileCount() const {
    return static_cast<size_t>(
        std::count_if(nodes_.begin(), nodes_.end(), [](const auto& n) { return !n.second.isDir; }));
}

}  // namespace flintcast::sim
