#pragma once
// The AT conversation on the modem port: the basic exchange (SendAT,
// SendATValue), the diagnostic-service handshake, the configured start and
// end lists, the final USB personality and the version label.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/usb_personality.h"
#include "engine/worker_context.h"

namespace flintcast::engine {

class DeviceDirectory;

// The worker's own copies of the settings the AT operations read.
struct AtSettings {
    bool fastSpeed = false;
    bool phoneProject = false;
    // Project 3 with a version marker (an operator-branded variant).
    bool versionMarker = false;
    // SIM lock: mode 1 writes `simLockString`, any other mode unlocks.
    int32_t simLockMode = 0;
    std::string simLockString;
};

// Selectors of SendATValue that have a rule of their own.
namespace at_selector {
inline constexpr int kPlain = -1;    // the prefix is the whole command
inline constexpr int kSimLock = 4;   // built from the SIM-lock settings
inline constexpr int kCllen = 7;     // rejected: "not supported", success
inline constexpr int kZrreq = 8;
inline constexpr int kGmi = 9;
inline constexpr int kQuiet = 15;    // rejected or silent: false without a message
}  // namespace at_selector

class AtChannel {
public:
    // Time limit of an exchange, in whole seconds of the clock.
    static constexpr uint32_t kExchangeSeconds = 8;
    static constexpr size_t kSendAtBuffer = 512;
    static constexpr size_t kValueBuffer = 128;

    AtChannel(WorkerContext& ctx, DeviceDirectory& directory, AtSettings settings);

    AtSettings& settings() { return settings_; }

    // Sends `command` on the modem port and waits for "OK" or "ERROR". On "OK"
    // `value` receives the reply value. Only transport failures are reported.
    bool SendAT(std::string_view command, std::string& value);
    bool SendAT(std::string_view command);
    // The same exchange for the tool's own series of queries (the unit archive): the reply is
    // looked at every kQueryPollMs rather than after the fixed pause, and no line is posted.
    static constexpr uint32_t kQueryPollMs = 20;
    // A query without an answer in its time limit is sent this many times in all.
    static constexpr int kQueryAsks = 2;
    bool QueryAT(std::string_view command, std::string& value);
    // Writes an identity value back: prefix + value + "\r\n" (see at_selector).
    bool SendATValue(std::string_view prefix, int selector, std::string_view value,
                     std::string_view failureText);

    bool OpenDiagService();
    bool CloseDiagService();

    void RunStartATList(const std::vector<std::string>& lines);
    void RunEndATList(const std::vector<std::string>& lines);

    // Final USB personality after the update; `disk` and `cdrom` are the
    // worker's bDISK and bCDROM (the worker may have switched bDISK on).
    void SwitchUsbPersonality(bool disk, bool cdrom);

    // Sets the version label from "AT+CGMR" through the window's AT query.
    void ShowDeviceVersion();

private:
    WorkerContext& ctx_;
    DeviceDirectory& directory_;
    AtSettings settings_;

    // Whole seconds of the clock, for the exchange limit.
    uint32_t seconds() const;
    bool expired(uint32_t startSeconds) const;
    // Reads the modem port every pauseMs until a reply has its verdict (a positive one leaves
    // its value in `value`) or the reply time is out; `untilStopped` ends the wait on Stop too.
    enum class ReplyWait { Positive, Negative, TimedOut, ReadFailed };
    ReplyWait WaitForReply(uint32_t pauseMs, bool untilStopped, std::string& text, std::string& value);
    bool writeModem(std::string_view text);
    // One read of up to `max` bytes appended to `text` (kept to `max` bytes,
    // oldest dropped); false on a read failure.
    bool readModemInto(std::string& text, size_t max);
    enum class Handshake { Open, Close };
    bool diagServiceHandshake(Handshake kind);
    void runList(const std::vector<std::string>& lines, bool endList);
};

}  // namespace flintcast::engine
