#pragma once
// adbd's side of the adb transport over one connection: CNXN (no authentication), OPEN of the
// "sync:" and "shell:CMD" services, OKAY, WRTE and CLSE. The unit answers every WRTE with OKAY
// and sends its own data one WRTE at a time, the next only after the host's OKAY, in pieces no
// bigger than the payload both sides agreed on.
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "sim/model/android_files.h"
#include "sim/protocols/adb_message.h"
#include "sim/protocols/adb_sync.h"

namespace flintcast::sim {

struct AdbIdentity {
    std::map<std::string, std::string> properties;  // ro.product.* go into the banner
};

class AdbTransport {
public:
    struct Output {
        std::vector<std::vector<uint8_t>> messages;  // encoded, in order
        bool changed = false;                        // a file was written
        bool disconnect = false;                     // the unit drops off the bus
    };

    AdbTransport(AndroidFiles& files, const AdbIdentity& identity, ProtocolFaultHooks* requestFaults,
                 SyncLinkFaults* linkFaults);
    ~AdbTransport();

    // False when the byte stream is beyond repair (bad magic, oversized message): the unit
    // drops the connection.
    bool Feed(std::span<const uint8_t> bytes, Output& out);

    size_t openStreams() const { return streams_.size(); }

private:
    struct Stream {
        uint32_t remoteId = 0;
        std::unique_ptr<AdbSyncService> sync;  // null for a one-shot shell command
        std::vector<uint8_t> pending;          // answer bytes, sent from `sent` on
        size_t sent = 0;
        bool awaitingOkay = false;
        bool closeWhenDrained = false;
    };

    AndroidFiles& files_;
    const AdbIdentity& identity_;
    ProtocolFaultHooks* requestFaults_;
    SyncLinkFaults* linkFaults_;
    AdbMessageDecoder decoder_;
    bool connected_ = false;
    uint32_t maxData_ = kAdbMaxPayload;
    uint32_t nextId_ = 1;
    std::map<uint32_t, Stream> streams_;  // by the unit's (local) id

    void OnMessage(AdbMessage& m, Output& out);
    void Open(const AdbMessage& m, Output& out);
    void Write(const AdbMessage& m, Output& out);
    void Pump(uint32_t localId, Output& out);
    std::string Banner() const;
};

}  // namespace flintcast::sim
