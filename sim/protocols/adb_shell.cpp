#include "sim/protocols/adb_shell.h"

#include <sstream>
#include <vector>

#include <fmt/format.h>

namespace flintcast::sim {

std::string RunAdbShellCommand(std::string_view command, const AndroidFiles& files,
                               const std::map<std::string, std::string>& properties) {
    std::istringstream in{std::string(command)};
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    if (words.empty()) return {};
    const auto& verb = words[0];
    if (verb == "getprop") {
        if (words.size() == 1) {
            std::string out;
            for (const auto& [key, value] : properties) out += fmt::format("[{}]: [{}]\n", key, value);
            return out;
        }
        const auto it = properties.find(words[1]);
        return (it == properties.end() ? std::string() : it->second) + "\n";
    }
    if (verb == "echo") {
        std::string out;
        for (size_t i = 1; i < words.size(); ++i) out += (i > 1 ? " " : "") + words[i];
        return out + "\n";
    }
    if ((verb == "ls" || verb == "cat") && words.size() == 2) {
        const auto* e = files.Find(words[1]);
        if (!e) return fmt::format("{}: {}: No such file or directory\n", verb, words[1]);
        if (verb == "cat") {
            if (e->directory) return fmt::format("cat: {}: Is a directory\n", words[1]);
            return std::string(e->data.begin(), e->data.end());
        }
        if (!e->directory) return words[1] + "\n";
        std::string out;
        for (const auto& [name, entry] : files.List(words[1])) out += name + "\n";
        return out;
    }
    return fmt::format("/system/bin/sh: {}: not found\n", verb);
}

}  // namespace flintcast::sim
