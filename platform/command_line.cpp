#include "platform/command_line.h"

namespace flintcast::platform {

std::string QuoteWindowsArgument(std::string_view argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string_view::npos) return std::string(argument);
    std::string out = "\"";
    size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes in front of a quote are doubled and the quote escaped; elsewhere they stand.
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    // Before the closing quote they are doubled, so the last one does not escape it.
    out.append(backslashes * 2, '\\');
    out += '"';
    return out;
}

std::string WindowsCommandLine(std::string_view program, const std::vector<std::string>& arguments) {
    if (program.find('"') != std::string_view::npos) return {};
    std::string out = "\"" + std::string(program) + "\"";
    for (const std::string& argument : arguments) {
        out += ' ';
        out += QuoteWindowsArgument(argument);
    }
    return out;
}

}  // namespace flintcast::platform
