#pragma once
// The command line of a Windows process. Windows hands a program one string; the C runtime
// splits it into argv by the Microsoft C rules (blanks separate arguments, double quotes group
// them, backslashes escape a quote only in front of one). Quoting each argument by those rules
// gives every argument back to the program byte for byte, with no shell in between.
#include <string>
#include <string_view>
#include <vector>

namespace flintcast::platform {

// One argument, quoted only when it needs it (empty, or holding a blank, tab, line break or
// double quote).
std::string QuoteWindowsArgument(std::string_view argument);

// The program (argv[0], always in double quotes: its rules know no escapes, and a Windows path
// cannot hold a double quote) followed by the quoted arguments. Empty when the program name
// holds a double quote, which no quoting could carry.
std::string WindowsCommandLine(std::string_view program, const std::vector<std::string>& arguments);

}  // namespace flintcast::platform
