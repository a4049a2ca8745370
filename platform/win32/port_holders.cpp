// Which program holds a COM port is not something Windows tells an ordinary program (it takes
// a kernel handle walk with debug rights), so the Windows build names none: the busy-port
// message then goes without the holder's name.
#include "platform/port_holders.h"

namespace flintcast::platform {

std::vector<PortHolder> FindPortHolders(const std::filesystem::path&, const std::filesystem::path&) { return {}; }

}  // namespace flintcast::platform
