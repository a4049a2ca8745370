#pragma once
// The modem port's AT command interpreter: echoes what it receives (when echo is on), runs each
// command line ended by CR and answers with the information text and "OK", or "ERROR".
#include <cstddef>
#include <string>
#include <string_view>

#include "sim/at/modem_state.h"
#include "sim/faults.h"
#include "sim/profile.h"

namespace flintcast::sim {

struct AtOutput {
    std::string bytes;          // echo and replies, in order
    bool stateChanged = false;  // a command changed the modem state
    bool resetRequested = false;  // AT+ZRVRESET: re-enumerate after the reply went out
    uint32_t delayMs = 0;         // device time to wait before the bytes go out
    bool unplugged = false;       // the cable was pulled as a command arrived (at-unplug)
};

class AtModem {
public:
    // A command line longer than this is thrown away and answered with "ERROR".
    static constexpr size_t kMaxLineBytes = 2048;

    // `faults` may be null. Profile and state must outlive the modem.
    AtModem(const Profile& profile, ModemState& state, Faults* faults);

    AtOutput Feed(std::string_view bytes);

private:
    const Profile& profile_;
    ModemState& state_;
    Faults* faults_;
    std::string line_;
    bool overflow_ = false;

    void RunLine(std::string_view line, AtOutput& out);
    // Runs one command; returns false for ERROR. `info` receives the information text.
    bool Execute(std::string_view command, std::string& info, AtOutput& out);
    bool Disk(std::string_view args, std::string& info, AtOutput& out);
    bool IdentityItem(std::string_view args, std::string& info, AtOutput& out);
    std::string VersionForCgmr() const;
    std::string VersionForAti() const;
};

}  // namespace flintcast::sim
