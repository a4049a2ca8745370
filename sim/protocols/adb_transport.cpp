#include "sim/protocols/adb_transport.h"

#include <algorithm>

#include "sim/protocols/adb_shell.h"

namespace flintcast::sim {
namespace {

std::vector<uint8_t> Text(const std::string& s, bool nul) {
    std::vector<uint8_t> out(s.begin(), s.end());
    if (nul) out.push_back(0);
    return out;
}

constexpr uint32_t kSmallestPayload = 4096;

}  // namespace

AdbTransport::AdbTransport(AndroidFiles& files, const AdbIdentity& identity, ProtocolFaultHooks* requestFaults,
                           SyncLinkFaults* linkFaults)
    : files_(files), identity_(identity), requestFaults_(requestFaults), linkFaults_(linkFaults) {}

AdbTransport::~AdbTransport() = default;

std::string AdbTransport::Banner() const {
    std::string banner = "device::";
    for (const char* key : {"ro.product.name", "ro.product.model", "ro.product.device"}) {
        const auto it = identity_.properties.find(key);
        if (it != identity_.properties.end()) banner += std::string(key) + "=" + it->second + ";";
    }
    return banner;
}

bool AdbTransport::Feed(std::span<const uint8_t> bytes, Output& out) {
    std::vector<AdbMessage> messages;
    const auto status = decoder_.Feed(bytes, messages);
    for (auto& m : messages) {
        OnMessage(m, out);
        if (out.disconnect) return true;
    }
    return status == AdbMessageDecoder::Status::Ok;
}

void AdbTransport::OnMessage(AdbMessage& m, Output& out) {
    if (m.command == adb_cmd::kCnxn) {
        // A new host session: whatever was open belongs to the old one.
        streams_.clear();
        connected_ = true;
        maxData_ = std::clamp(m.arg1, kSmallestPayload, kAdbMaxPayload);
        out.messages.push_back(EncodeAdbMessage(adb_cmd::kCnxn, kAdbVersion, kAdbMaxPayload, Text(Banner(), false)));
        return;
    }
    if (!connected_) return;  // nothing is served before the connection is made
    switch (m.command) {
        case adb_cmd::kOpen: Open(m, out); return;
        case adb_cmd::kWrte: Write(m, out); return;
        case adb_cmd::kOkay:
            if (auto it = streams_.find(m.arg1); it != streams_.end() && it->second.remoteId == m.arg0) {
                it->second.awaitingOkay = false;
                Pump(m.arg1, out);
            }
            return;
        case adb_cmd::kClse:
            if (auto it = streams_.find(m.arg1); it != streams_.end() && it->second.remoteId == m.arg0) streams_.erase(it);
            return;
        default: return;  // AUTH, SYNC and unknown commands: not used without authentication
    }
}

void AdbTransport::Open(const AdbMessage& m, Output& out) {
    if (m.arg0 == 0) return;
    std::string service(m.data.begin(), std::find(m.data.begin(), m.data.end(), uint8_t{0}));
    Stream stream;
    stream.remoteId = m.arg0;
    if (service == "sync:") {
        stream.sync = std::make_unique<AdbSyncService>(files_, requestFaults_, linkFaults_);
    } else if (service.rfind("shell:", 0) == 0 && service.size() > 6) {
        const auto text = RunAdbShellCommand(std::string_view(service).substr(6), files_, identity_.properties);
        stream.pending.assign(text.begin(), text.end());
        stream.closeWhenDrained = true;
    } else {
        // An interactive shell and every other service are refused: the stream closes at once.
        out.messages.push_back(EncodeAdbMessage(adb_cmd::kClse, 0, m.arg0));
        return;
    }
    const uint32_t local = nextId_++;
    streams_[local] = std::move(stream);
    out.messages.push_back(EncodeAdbMessage(adb_cmd::kOkay, local, m.arg0));
    Pump(local, out);
}

void AdbTransport::Write(const AdbMessage& m, Output& out) {
    const auto it = streams_.find(m.arg1);
    if (it == streams_.end() || it->second.remoteId != m.arg0) return;
    auto& stream = it->second;
    out.messages.push_back(EncodeAdbMessage(adb_cmd::kOkay, m.arg1, m.arg0));
    if (!stream.sync) return;  // a shell command takes no input
    const auto result = stream.sync->Feed(m.data, stream.pending);
    out.changed = out.changed || result.changed;
    if (result.close) stream.closeWhenDrained = true;
    Pump(m.arg1, out);
    if (result.disconnect) out.disconnect = true;
}

void AdbTransport::Pump(uint32_t localId, Output& out) {
    const auto it = streams_.find(localId);
    if (it == streams_.end()) return;
    auto& s = it->second;
    if (s.awaitingOkay) return;
    if (s.sent < s.pending.size()) {
        const size_t n = std::min<size_t>(maxData_, s.pending.size() - s.sent);
        out.messages.push_back(
            EncodeAdbMessage(adb_cmd::kWrte, localId, s.remoteId, std::span(s.pending).subspan(s.sent, n)));
        s.sent += n;
        if (s.sent == s.pending.size()) {
            s.pending.clear();
            s.sent = 0;
        }
        s.awaitingOkay = true;
        return;
    }
    if (s.closeWhenDrained) {
        out.messages.push_back(EncodeAdbMessage(adb_cmd::kClse, localId, s.remoteId));
        streams_.erase(it);
    }
}

}  // namespace flintcast::sim
