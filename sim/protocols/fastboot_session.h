#pragma once
// One connection to the unit's fastboot bootloader: takes the packets of the network framing,
// runs the commands against the partitions and answers as a bootloader does (OKAY, FAIL with a
// reason, DATA with the accepted size, INFO lines before a long operation's OKAY).
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/model/partition_store.h"
#include "sim/protocols/fastboot_command.h"
#include "sim/protocols/fastboot_framing.h"
#include "sim/protocols/protocol_faults.h"

namespace flintcast::sim {

struct FastbootSettings {
    std::string product = "flintcast-sim";
    std::string bootloaderVersion = "FCSIM-FB 1.0";
    std::string serial;
    uint32_t maxDownloadSize = 0x3000000;
    bool infoLines = false;  // INFO lines before the OKAY of a flash
};

struct FastbootOutput {
    enum class Event { None, Continue, Reboot, RebootBootloader, Disconnect, Flashed };
    std::vector<std::vector<uint8_t>> raw;      // bytes that go out unframed (the handshake)
    std::vector<std::string> replies;           // reply packets' payloads
    std::vector<Event> events;
};

// Asked when a download starts: after how many data bytes the link is pulled, if at all.
class FastbootLinkFaults {
public:
    virtual ~FastbootLinkFaults() = default;
    virtual std::optional<uint64_t> DisconnectAfter() = 0;
};

class FastbootSession {
public:
    FastbootSession(const FastbootSettings& settings, PartitionStore& partitions, ProtocolFaultHooks* requestFaults,
                    FastbootLinkFaults* linkFaults);

    // Feeds received bytes. False when the connection must be dropped (bad handshake).
    bool Feed(std::span<const uint8_t> bytes, FastbootOutput& out);

    const std::map<std::string, uint64_t>& counters() const { return counters_; }

private:
    enum class Phase { Command, Data, Skip };

    const FastbootSettings& settings_;
    PartitionStore& partitions_;
    ProtocolFaultHooks* requestFaults_;
    FastbootLinkFaults* linkFaults_;
    FastbootStreamDecoder decoder_;
    Phase phase_ = Phase::Command;
    std::string command_;
    std::optional<uint64_t> disconnectAt_;
    std::map<std::string, uint64_t> counters_;
    std::vector<FastbootPiece> pieces_;

    void OnPiece(const FastbootPiece& piece, FastbootOutput& out);
    void OnData(const FastbootPiece& piece, FastbootOutput& out);
    void RunCommand(FastbootOutput& out);
    void GetVar(const std::string& name, FastbootOutput& out);
    std::optional<std::string> Variable(const std::string& name) const;
    void Download(uint32_t size, FastbootOutput& out);
    void FlashResult(const std::string& name, const std::string& error, FastbootOutput& out);
};

}  // namespace flintcast::sim
