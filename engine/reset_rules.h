#pragma once
// Project rules of resets and port re-discovery, kept in one place: which
// command resets a device, how long the reopen loops wait, and which devices
// are not waited for after the switch to download mode.
#include <cstdint>
#include <string_view>

#include "config/project_traits.h"

namespace flintcast::engine {

// The resets after which the worker waits for the device and finds its ports again.
enum class ResetStage {
    First,          // first reset of the run (before the restore)
    Second,         // second reset of the run
    AfterDownload,  // ResetAfterDownload
};

enum class PortKind { Diag, Modem };

// Which streaming request ends an update: data cards of the older families
// are powered off, everything else (and every phone) is reset.
enum class ResetCommand { Reset, PowerOff };
ResetCommand ResetCommandFor(int32_t project, bool phoneProject);

// Projects whose ports come back quickly after the second reset (3 s wait
// before each reopen attempt instead of 6 s); some keep a slower modem port.
bool UsesShortReopenWait(int32_t project, PortKind port);

// Handsets and routers that do not re-enumerate their diagnostic port when they
// enter download mode: no arrival wait and no port re-discovery for them.
using config::KeepsPortsInDownloadSwitch;

struct DeviceWait {
    int changePolls;
    int arrivalPolls;
    uint32_t pollMs;
};
DeviceWait DeviceWaitFor(ResetStage stage);

struct ReopenLoop {
    int attempts;
    uint32_t waitMs;                 // before each attempt
    std::string_view successSuffix;  // after the port text
    std::string_view waitingSuffix;  // after the port text, progress line
    std::string_view timeoutText;    // ShowError after the last attempt
};
// The reopen loops after the first and second reset of the run.
ReopenLoop ReopenLoopFor(ResetStage stage, PortKind port, int32_t project);

// Port lines posted after re-discovery.
struct PortLineTexts {
    std::string_view diagEmpty;
    std::string_view diagReadySuffix;
    std::string_view modemEmpty;
    std::string_view modemReadySuffix;
};
PortLineTexts PortLinesFor(ResetStage stage);

}  // namespace flintcast::engine
