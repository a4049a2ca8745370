#include "sim/protocols/fastboot_session.h"

#include <fmt/format.h>

namespace flintcast::sim {
namespace {

using Kind = FastbootCommand::Kind;

std::string Fail(const std::string& reason) { return "FAIL" + reason.substr(0, kFastbootMaxReplyBytes - 4); }

}  // namespace

FastbootSession::FastbootSession(const FastbootSettings& settings, PartitionStore& partitions,
                                 ProtocolFaultHooks* requestFaults, FastbootLinkFaults* linkFaults)
    : settings_(settings), partitions_(partitions), requestFaults_(requestFaults), linkFaults_(linkFaults) {}

bool FastbootSession::Feed(std::span<const uint8_t> bytes, FastbootOutput& out) {
    const bool wasDone = decoder_.handshakeDone();
    pieces_.clear();
    if (decoder_.Feed(bytes, pieces_) != FastbootStreamDecoder::Status::Ok) return false;
    if (!wasDone && decoder_.handshakeDone()) out.raw.push_back(FastbootHandshakeReply());
    for (const auto& piece : pieces_) {
        OnPiece(piece, out);
        if (!out.events.empty() && out.events.back() == FastbootOutput::Event::Disconnect) break;
    }
    return true;
}

void FastbootSession::OnPiece(const FastbootPiece& piece, FastbootOutput& out) {
    switch (phase_) {
        case Phase::Data: OnData(piece, out); return;
        case Phase::Skip:
            if (piece.last) phase_ = Phase::Command;
            return;
        case Phase::Command: break;
    }
    if (piece.first) {
        command_.clear();
        // The length is checked before any byte is taken: an oversized command is skipped whole.
        if (piece.packetLength > kFastbootMaxCommandBytes) {
            out.replies.push_back(Fail("command too long"));
            if (!piece.last) phase_ = Phase::Skip;
            return;
        }
    }
    command_.append(reinterpret_cast<const char*>(piece.bytes.data()), piece.bytes.size());
    if (piece.last) RunCommand(out);
}

void FastbootSession::OnData(const FastbootPiece& piece, FastbootOutput& out) {
    if (piece.first && piece.packetLength > partitions_.DownloadRemaining()) {
        // More data than was announced: the download is void and the packet is skipped.
        partitions_.AbandonDownload();
        out.replies.push_back(Fail("more data than the download announced"));
        phase_ = piece.last ? Phase::Command : Phase::Skip;
        return;
    }
    const uint64_t before = partitions_.received();
    if (disconnectAt_ && before + piece.bytes.size() >= *disconnectAt_) {
        partitions_.AppendDownload(piece.bytes.first(static_cast<size_t>(*disconnectAt_ - before)));
        out.events.push_back(FastbootOutput::Event::Disconnect);
        return;
    }
    if (!partitions_.AppendDownload(piece.bytes)) {
        partitions_.AbandonDownload();
        out.replies.push_back(Fail("download buffer write failure"));
        phase_ = piece.last ? Phase::Command : Phase::Skip;
        return;
    }
    if (partitions_.DownloadComplete()) {
        out.replies.push_back("OKAY");
        phase_ = Phase::Command;
    }
}

void FastbootSession::RunCommand(FastbootOutput& out) {
    if (command_.empty()) {
        out.replies.push_back(Fail("empty command"));
        return;
    }
    const auto cmd = ParseFastbootCommand(command_);
    const auto request = FastbootRequestName(cmd.kind);
    ++counters_[request];
    if (cmd.kind == Kind::Malformed) {
        out.replies.push_back(Fail(cmd.problem));
        return;
    }
    if (cmd.kind == Kind::Unknown) {
        out.replies.push_back(Fail("unknown command"));
        return;
    }
    const auto fault = requestFaults_ ? requestFaults_->OnRequest(request) : RequestFault::None;
    if (fault == RequestFault::Ignore) return;
    if (fault == RequestFault::Refuse) {
        out.replies.push_back(Fail("command refused"));
        return;
    }
    switch (cmd.kind) {
        case Kind::GetVar: GetVar(cmd.name, out); return;
        case Kind::Download: Download(cmd.size, out); return;
        case Kind::Flash: FlashResult(cmd.name, partitions_.Flash(cmd.name), out); return;
        case Kind::ChunkFlash: FlashResult(cmd.name, partitions_.FlashChunk(cmd.name, cmd.lastChunk), out); return;
        case Kind::Erase: FlashResult(cmd.name, partitions_.Erase(cmd.name), out); return;
        case Kind::Continue:
            out.replies.push_back("OKAY");
            out.events.push_back(FastbootOutput::Event::Continue);
            return;
        case Kind::Reboot:
            out.replies.push_back("OKAY");
            out.events.push_back(FastbootOutput::Event::Reboot);
            return;
        case Kind::RebootBootloader:
            out.replies.push_back("OKAY");
            out.events.push_back(FastbootOutput::Event::RebootBootloader);
            return;
        case Kind::Unknown:
        case Kind::Malformed: return;
    }
}

std::optional<std::string> FastbootSession::Variable(const std::string& name) const {
    if (name == "version") return "0.5";
    if (name == "version-bootloader") return settings_.bootloaderVersion;
    if (name == "product") return settings_.product;
    if (name == "serialno") return settings_.serial;
    if (name == "max-download-size") return fmt::format("0x{:08x}", settings_.maxDownloadSize);
    if (name == "secure") return "no";
    if (name == "unlocked") return "yes";
    if (name == "is-userspace") return "no";
    const auto colon = name.find(':');
    if (colon == std::string::npos) return std::nullopt;
    const auto what = name.substr(0, colon);
    const auto partition = name.substr(colon + 1);
    if (!partitions_.Has(partition)) return std::nullopt;
    if (what == "partition-size") return fmt::format("0x{:x}", partitions_.Capacity(partition));
    if (what == "partition-type") return "raw";
    if (what == "has-slot") return "no";
    return std::nullopt;
}

void FastbootSession::GetVar(const std::string& name, FastbootOutput& out) {
    if (name == "all") {
        for (const char* n : {"version", "version-bootloader", "product", "serialno", "max-download-size", "secure", "unlocked"})
            out.replies.push_back(fmt::format("INFO{}: {}", n, *Variable(n)).substr(0, kFastbootMaxReplyBytes));
        for (const auto& [partition, capacity] : partitions_.capacities())
            out.replies.push_back(fmt::format("INFOpartition-size:{}: 0x{:x}", partition, capacity));
        out.replies.push_back("OKAY");
        return;
    }
    const auto value = Variable(name);
    if (!value) {
        out.replies.push_back(Fail("unknown variable"));
        return;
    }
    out.replies.push_back(("OKAY" + *value).substr(0, kFastbootMaxReplyBytes));
}

void FastbootSession::Download(uint32_t size, FastbootOutput& out) {
    if (size == 0) {
        out.replies.push_back(Fail("invalid download size"));
        return;
    }
    if (size > settings_.maxDownloadSize) {
        out.replies.push_back(Fail("data too large"));
        return;
    }
    if (!partitions_.BeginDownload(size)) {
        out.replies.push_back(Fail("download buffer unavailable"));
        return;
    }
    disconnectAt_ = linkFaults_ ? linkFaults_->DisconnectAfter() : std::nullopt;
    phase_ = Phase::Data;
    out.replies.push_back(fmt::format("DATA{:08x}", size));
}

void FastbootSession::FlashResult(const std::string& name, const std::string& error, FastbootOutput& out) {
    if (!error.empty()) {
        out.replies.push_back(Fail(error));
        return;
    }
    if (settings_.infoLines) {
        out.replies.push_back(fmt::format("INFOerasing '{}'...", name).substr(0, kFastbootMaxReplyBytes));
        out.replies.push_back(fmt::format("INFOwriting '{}'...", name).substr(0, kFastbootMaxReplyBytes));
    }
    out.replies.push_back("OKAY");
    out.events.push_back(FastbootOutput::Event::Flashed);
}

}  // namespace flintcast::sim
