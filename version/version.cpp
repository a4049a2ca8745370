#include "version/version.h"

#include "version/commit.h"  // generated at build time

namespace flintcast::version {

const char* Number() { return FLINTCAST_VERSION_NUMBER; }
const char* Commit() { return FLINTCAST_GIT_COMMIT; }

std::string Line(const std::string& program) {
    return program + " " + Number() + " (commit " + Commit() + ")";
}

}  // namespace flintcast::version
