#pragma once
// Injected faults of the simulated device. A fault rule names what goes wrong, what it applies to
// and when it fires: on the Nth matching occurrence (default the first) or on every one.
//
// Spec text (command line --faults, profile "faults", control channel "fault"): rules separated
// by ';', each  KIND[:TARGET][=VALUE][@N | @*]
//   drop-reply[:PORT]            the reply is not sent                       PORT: diag, modem, terminal,
//   corrupt-crc[:PORT]           the reply's check sequence is spoiled             download, programmer
//   delay-reply[:PORT]=MS        the reply goes out MS tool milliseconds late
//   drop-reply:REQUEST, corrupt-crc:REQUEST, delay-reply:REQUEST=MS
//                                the same for the reply to one kind of request (its counter name,
//                                e.g. "diag.nv_write"): the device carries the request out, and
//                                only its answer is lost, spoiled or late
//   split-reply[:PORT][=AT]      the reply goes out in two writes (first AT bytes, default half)
//   throttle[:PORT]=BYTES        the link carries BYTES per second (always on, both directions)
//   at-error:COMMAND             an AT command starting with COMMAND answers "ERROR"
//   at-silence:COMMAND           ... answers nothing at all
//   at-garble:COMMAND            ... is carried out, and its answer arrives as line noise
//   at-late:COMMAND=MS           ... is carried out, and its answer goes out MS tool milliseconds late
//   at-unplug:COMMAND            the cable is pulled as the command arrives: no answer, until `ctl plug`
//   unplug-on:REQUEST            the same for a binary request (its counter name, e.g. "diag.nv_write")
//   refuse:REQUEST               the request is refused the protocol's way (DIAG bad-command reply,
//                                bootloader NAK, streaming error reply); REQUEST is the request's
//                                counter name as the state file shows it, e.g. "dmss.go"
//   ignore:REQUEST               the request is swallowed: no answer, no effect
//   nv-status:ITEM=STATUS        an NV read of ITEM reports STATUS instead of its own
//   unplug-at:IMAGE.BLOCK        the device drops off the bus at stream write BLOCK (1-based) of the
//                                IMAGE-th opened image (1-based)
//   no-return[:PERSONALITY]      the device does not come back from a reset or power off; with a
//                                personality, from any re-enumeration into it (e.g. "download")
//   shift-ports[:PERSONALITY]    the device comes back under other port numbers (in that personality)
//   truncate-reply[:PORT][=N]    a fastboot reply packet carries only its first N bytes (default 2)
//   oversize-reply[:PORT][=N]    a fastboot reply packet is padded to N bytes (default 512)
//   disconnect-at:PORT=BYTES     the unit drops off the bus after BYTES data bytes of a fastboot
//                                download or an adb file transfer (PORT fastboot or adb)
// Numbers may be decimal or 0x-hex. Examples: "drop-reply:diag@3", "nv-status:550=5@*",
// "at-error:AT+ZRVSN=0,7@1;throttle=1200000",
// "refuse:dmss.go".
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace flintcast::sim {

enum class FaultKind {
    DropReply,
    CorruptCrc,
    DelayReply,
    SplitReply,
    Throttle,
    AtError,
    AtSilence,
    Refuse,
    Ignore,
    NvStatus,
    UnplugAt,
    NoReturn,
    ShiftPorts,
    TruncateReply,
    OversizeReply,
    DisconnectAt,
    AtGarble,
    AtLate,
    AtUnplug,
    UnplugOn,
};

std::string_view FaultKindName(FaultKind kind);
std::optional<FaultKind> ParseFaultKind(std::string_view name);

struct FaultRule {
    FaultKind kind{};
    std::string target;      // empty: any; numbers are kept in canonical decimal form
    int64_t value = 0;       // the kind's value (ms, bytes, reason code, status ...)
    bool hasValue = false;
    uint32_t nth = 1;        // fires on this matching occurrence ...
    bool every = false;      // ... or on every one
    uint32_t seen = 0;       // matching occurrences so far
    uint32_t fired = 0;      // times it fired
};

// Parses one spec text into rules; on error returns nullopt and a message in `error`.
std::optional<std::vector<FaultRule>> ParseFaultSpec(std::string_view spec, std::string& error);

// The device's set of fault rules. Thread-safe: the control channel adds rules while ports run.
class Faults {
public:
    // Adds the rules of a spec text. Returns an error message, or empty on success.
    std::string add(std::string_view spec);
    void clear();

    // Counts one occurrence of `kind` for `target` and returns the value of the first rule that
    // fires (rules without a value yield 0). AT kinds match when the command starts with the rule's
    // target (case-insensitive); other kinds match an empty rule target or an equal one.
    std::optional<int64_t> fire(FaultKind kind, std::string_view target = {});
    std::optional<int64_t> fire(FaultKind kind, uint32_t number);
    // As fire(), but only rules that name `name` itself count (the reply to one kind of request,
    // a return in one personality); rules without a target are left alone.
    std::optional<int64_t> fireNamed(FaultKind kind, std::string_view name);

    // The value of a standing setting (throttle) for `target`, without counting an occurrence.
    std::optional<int64_t> setting(FaultKind kind, std::string_view target = {}) const;

    nlohmann::json toJson() const;

private:
    mutable std::mutex mutex_;
    std::vector<FaultRule> rules_;

    // Counts the occurrence in every rule that applies; the first of them that fires decides.
    std::optional<int64_t> fireWhere(const std::function<bool(const FaultRule&)>& applies);
};

}  // namespace flintcast::sim
