#include "sim/protocols/streaming_handler.h"

#include <cstring>

#include "sim/protocols/wire.h"

namespace flintcast::sim {
namespace {

// Frames as large as a fast-transfer block fit, so a client with a large block size
// still gets a proper answer to its framed requests.
constexpr size_t kMaxStreamFrame = 40 * 1024;
constexpr uint8_t kDeviceFeatures = 0x03;

}  // namespace

StreamingHandler::StreamingHandler(DeviceModel& model, ProtocolFaultHooks* faults)
    : FramedHandler(model, faults, kMaxStreamFrame) {}

std::string StreamingHandler::KindOf(uint8_t code) {
    switch (code) {
    case stream_cmd::kHello: return "stream.hello";
    case stream_cmd::kSecurityMode: return "stream.security_mode";
    case stream_cmd::kPartitionTable: return "stream.partition_table";
    case stream_cmd::kOpenMulti: return "stream.open";
    case stream_cmd::kWrite: return "stream.write";
    case stream_cmd::kClose: return "stream.close";
    case stream_cmd::kReset: return "stream.reset";
    case stream_cmd::kPowerOff: return "stream.power_off";
    case stream_cmd::kTransmitRequest: return "stream.transmit_request";
    case stream_cmd::kTransmitReset: return "stream.transmit_reset";
    case stream_cmd::kWriteFlash: return "stream.write_flash";
    default: return "stream.unknown";
    }
}

// Error: 0D, code (4), text.
void StreamingHandler::Error(EngineOutput& out, uint32_t code, std::string_view text) {
    std::vector<uint8_t> reply{stream_cmd::kError};
    wire::PutLe32(reply, code);
    wire::PutText(reply, text);
    Reply(out, reply, true);
}

void StreamingHandler::HandleBadFrame(hdlc::FrameDecoder::Status status, EngineOutput& out) {
    if (unplugged_) return;
    model_.Count("stream.bad_frame");
    if (status == hdlc::FrameDecoder::Status::BadCrc) {
        Error(out, stream_err::kOperationFailed, "bad check sequence");
    } else {
        Error(out, stream_err::kInvalidLength, "bad frame length");
    }
}

void StreamingHandler::HandleFrame(std::span<const uint8_t> req, EngineOutput& out) {
    if (unplugged_) return;
    const uint8_t code = req[0];
    switch (Admit(KindOf(code))) {
    case RequestFault::Ignore: return;
    case RequestFault::Refuse:
        // A programmer refuses an image the way its open answer allows: a status other than 0.
        if (code == stream_cmd::kOpenMulti) {
            const uint8_t refused[] = {stream_cmd::kOpenMultiReply, kOpenRefused};
            return Reply(out, refused, true);
        }
        return Error(out, stream_err::kOperationFailed, "operation failed");
    case RequestFault::None: break;
    }
    const bool wasClose = lastWasClose_;
    lastWasClose_ = false;
    switch (code) {
    case stream_cmd::kHello: return Hello(req, out);
    case stream_cmd::kReset:
        if (req.size() != 1) return Error(out, stream_err::kInvalidLength, "bad reset length");
        return Restart(out, DeviceEvent::Reset, stream_cmd::kResetReply);
    case stream_cmd::kPowerOff:
        if (req.size() != 1) return Error(out, stream_err::kInvalidLength, "bad power off length");
        return Restart(out, DeviceEvent::PowerOff, stream_cmd::kPowerOffReply);
    default: break;
    }
    if (!greeted_) return Error(out, stream_err::kOutOfSequence, "hello expected first");
    switch (code) {
    case stream_cmd::kSecurityMode: return SecurityMode(req, out);
    case stream_cmd::kPartitionTable: return PartitionTable(req, out);
    case stream_cmd::kOpenMulti: return OpenImage(req, out);
    case stream_cmd::kWrite: return StreamWrite(req, out);
    case stream_cmd::kClose:
        lastWasClose_ = wasClose;  // CloseImage decides whether a repeat is acceptable
        return CloseImage(req, out);
    case stream_cmd::kTransmitRequest: return TransmitRequest(req, out);
    case stream_cmd::kTransmitReset:
        if (req.size() != 11) return Error(out, stream_err::kInvalidLength, "bad transmit reset length");
        return TransmitReset(out);
    case stream_cmd::kWriteFlash: return WriteFlash(req, out);
    default: return Error(out, stream_err::kInvalidCommand, "invalid command");
    }
}

// Hello: 01, host magic (32), version, compatible version, feature bits. Answer: 02, target
// magic, version, compatible version, largest block (4), flash base (4), flash id length
// and text, window size (2), sector count (2), feature bits.
void StreamingHandler::Hello(std::span<const uint8_t> req, EngineOutput& out) {
    if (req.size() != 1 + kMagicBytes + 3) return Error(out, stream_err::kInvalidLength, "bad hello length");
    if (std::memcmp(req.data() + 1, kHostMagic, kMagicBytes) != 0) {
        return Error(out, stream_err::kIncompatible, "bad hello magic");
    }
    const uint8_t hostVersion = req[1 + kMagicBytes];
    if (hostVersion < kStreamCompatibleVersion) return Error(out, stream_err::kIncompatible, "protocol too old");
    // A new hello starts the session over; an image left open is cut off.
    if (model_.flash.IsOpen()) model_.flash.Abandon();
    EndFastTransfer();
    greeted_ = true;

    const DeviceSettings& s = model_.settings;
    std::vector<uint8_t> reply{stream_cmd::kHelloReply};
    wire::PutFixedText(reply, kTargetMagic, kMagicBytes);
    reply.push_back(kStreamVersion);
    reply.push_back(kStreamCompatibleVersion);
    wire::PutLe32(reply, s.streamBlockSize);
    wire::PutLe32(reply, 0);
    const std::string flashId = s.flashId.substr(0, 255);
    reply.push_back(static_cast<uint8_t>(flashId.size()));
    wire::PutText(reply, flashId);
    wire::PutLe16(reply, 1);
    wire::PutLe16(reply, 0);
    reply.push_back(static_cast<uint8_t>(req[1 + kMagicBytes + 2] & kDeviceFeatures));
    Reply(out, reply, true);
}

// Security mode: 17, mode (0 trusted, 1 untrusted) -> 18.
void StreamingHandler::SecurityMode(std::span<const uint8_t> req, EngineOutput& out) {
    if (req.size() != 2) return Error(out, stream_err::kInvalidLength, "bad security mode length");
    if (req[1] > 1) return Error(out, stream_err::kInvalidSecurityMode, "invalid security mode");
    const uint8_t reply[] = {stream_cmd::kSecurityModeReply};
    Reply(out, reply, true);
}

// Partition table: 19, override flag, table -> 1A, status.
void StreamingHandler::PartitionTable(std::span<const uint8_t> req, EngineOutput& out) {
    if (req.size() < 2) return Error(out, stream_err::kInvalidLength, "bad partition table length");
    if (req[1] > 1) return Error(out, stream_err::kInvalidCommand, "bad override flag");
    const bool override = req[1] == 1;
    const std::vector<uint8_t> table(req.begin() + 2, req.end());
    uint8_t status = partition_status::kAccepted;
    if (table.empty() || table.size() > kMaxPartitionTableBytes) {
        status = partition_status::kBadFormat;
    } else if (model_.partitionTable && *model_.partitionTable != table && !override) {
        status = partition_status::kDiffers;
    } else {
        model_.partitionTable = table;
    }
    const uint8_t reply[] = {stream_cmd::kPartitionTableReply, status};
    Reply(out, reply, true);
}

// Open multi-image: 1B, type, header or name -> 1C, status 0.
void StreamingHandler::OpenImage(std::span<const uint8_t> req, EngineOutput& out) {
    if (req.size() < 2) return Error(out, stream_err::kInvalidLength, "bad open length");
    const std::vector<uint8_t> extra(req.begin() + 2, req.end());
    const auto kind = ImageKindFromOpen(req[1], extra);
    if (!kind) return Error(out, stream_err::kUnknownImage, "unknown image type");
    if (!ImageKindTakesHeader(*kind) && *kind != ImageKind::Ftl && *kind != ImageKind::UseDownload &&
        !extra.empty()) {
        return Error(out, stream_err::kInvalidLength, "image type takes no header");
    }
    const uint8_t reply[] = {stream_cmd::kOpenMultiReply, 0x00};
    if (model_.flash.IsOpen()) {
        // The same open again before any data is a repeat whose answer got lost.
        if (model_.flash.OpenKind() != kind || model_.flash.OpenSize() != 0) {
            return Error(out, stream_err::kOutOfSequence, "an image is already open");
        }
        return Reply(out, reply, true);
    }
    const bool isNamed = *kind == ImageKind::Ftl || *kind == ImageKind::UseDownload;
    model_.flash.Open(*kind, isNamed ? std::vector<uint8_t>{} : extra);
    blocksInImage_ = 0;
    imageCheck_.reset();
    Reply(out, reply, true);
}

bool StreamingHandler::UnplugNow(EngineOutput& out) {
    ++blocksInImage_;
    if (faults_ == nullptr || !faults_->UnplugDuringImage(model_.flash.OpenCount(), blocksInImage_)) {
        return false;
    }
    model_.flash.Abandon();
    EndFastTransfer();
    unplugged_ = true;
    out.events.push_back(DeviceEvent::Unplug);
    return true;
}

// Stream write: 07, address (4), data -> 08, address (4).
void StreamingHandler::StreamWrite(std::span<const uint8_t> req, EngineOutput& out) {
    if (req.size() < 5) return Error(out, stream_err::kInvalidLength, "bad write length");
    if (!model_.flash.IsOpen()) return Error(out, stream_err::kOutOfSequence, "no image open");
    if (UnplugNow(out)) return;
    const uint32_t address = wire::Le32(req, 1);
    switch (model_.flash.Write(address, req.data() + 5, req.size() - 5)) {
    case FlashStore::WriteResult::Ok: break;
    case FlashStore::WriteResult::Gap: return Error(out, stream_err::kInvalidAddress, "address not contiguous");
    case FlashStore::WriteResult::TooLarge: return Error(out, stream_err::kOutOfSpace, "image too large");
    case FlashStore::WriteResult::NoImageOpen: return Error(out, stream_err::kOutOfSequence, "no image open");
    }
    std::vector<uint8_t> reply{stream_cmd::kWriteReply};
    wire::PutLe32(reply, address);
    Reply(out, reply, true);
}

// Close: 15 -> 16. Stores the image; an AMSS image brings its software version, an EFS
// image puts the device's data back to factory state.
void StreamingHandler::CloseImage(std::span<const uint8_t> req, EngineOutput& out) {
    if (req.size() != 1) return Error(out, stream_err::kInvalidLength, "bad close length");
    const uint8_t reply[] = {stream_cmd::kCloseReply};
    if (!model_.flash.IsOpen()) {
        // A repeated close right after a close: its first answer got lost.
        if (lastWasClose_) return Reply(out, reply, true);
        return Error(out, stream_err::kOutOfSequence, "no image open");
    }
    if (phase_ != FastPhase::None) EndFastTransfer();
    const std::vector<uint8_t>& data = *model_.flash.OpenData();
    if (imageCheck_ && hdlc::CheckSequence(data) != *imageCheck_) {
        model_.flash.Abandon();
        return Error(out, stream_err::kWriteVerifyFailed, "image check value mismatch");
    }
    const ImageKind kind = *model_.flash.OpenKind();
    if (kind == ImageKind::Amss) {
        const std::string before = model_.softwareVersion;
        if (model_.AdoptVersionFromAmss(data) && model_.softwareVersion != before) {
            out.events.push_back(DeviceEvent::VersionChanged);
        }
    }
    model_.flash.Close();
    if (IsEfsImage(kind)) {
        model_.RestoreFactory();
        out.events.push_back(DeviceEvent::FactoryRestored);
    }
    lastWasClose_ = true;
    Reply(out, reply, true);
}

void StreamingHandler::Restart(EngineOutput& out, DeviceEvent event, uint8_t replyCode) {
    if (model_.flash.IsOpen()) model_.flash.Abandon();
    EndFastTransfer();
    greeted_ = false;
    const uint8_t reply[] = {replyCode};
    Reply(out, reply, true);
    out.events.push_back(event);
}

}  // namespace flintcast::sim
