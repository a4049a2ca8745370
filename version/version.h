#pragma once
// The version of this build and the git commit it was built from, for every program's --version.
#include <string>

namespace flintcast::version {

// "0.1.0"
const char* Number();
// The abbreviated commit ("1a2b3c4", with "-dirty" when the tree had changes), or "unknown"
// when the sources were not a git checkout.
const char* Commit();
// "<program> 0.1.0 (commit 1a2b3c4)"
std::string Line(const std::string& program);

}  // namespace flintcast::version
