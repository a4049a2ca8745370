#include "sim/protocols/dmss_handler.h"

#include <cstring>

#include "sim/protocols/programmer_image.h"
#include "sim/protocols/wire.h"

namespace flintcast::sim {

// Room for the largest write the device announces, its header and some stuffing slack.
DmssHandler::DmssHandler(DeviceModel& model, ProtocolFaultHooks* faults)
    : FramedHandler(model, faults, size_t{model.settings.dmssMaxWriteSize} + 64) {}

std::string DmssHandler::KindOf(uint8_t code) {
    switch (code) {
    case dmss_cmd::kNop: return "dmss.nop";
    case dmss_cmd::kParamRequest: return "dmss.params";
    case dmss_cmd::kWrite: return "dmss.write";
    case dmss_cmd::kGo: return "dmss.go";
    case dmss_cmd::kVersionRequest: return "dmss.version";
    case dmss_cmd::kReset: return "dmss.reset";
    case dmss_cmd::kPowerDown: return "dmss.power_down";
    case dmss_cmd::kDiagDownload: return "dmss.diag_download";
    default: return "dmss.unknown";
    }
}

void DmssHandler::Ack(EngineOutput& out) {
    const uint8_t ack[] = {dmss_cmd::kAck};
    Reply(out, ack, true);
}

void DmssHandler::Nak(EngineOutput& out, uint16_t reason) {
    std::vector<uint8_t> nak{dmss_cmd::kNak};
    wire::PutBe16(nak, reason);
    Reply(out, nak, true);
}

void DmssHandler::HandleBadFrame(hdlc::FrameDecoder::Status status, EngineOutput& out) {
    model_.Count("dmss.bad_frame");
    switch (status) {
    case hdlc::FrameDecoder::Status::BadCrc: Nak(out, dmss_nak::kInvalidFcs); break;
    case hdlc::FrameDecoder::Status::TooShort: Nak(out, dmss_nak::kUnexpectedEnd); break;
    default: Nak(out, dmss_nak::kInvalidLength); break;
    }
}

void DmssHandler::HandleFrame(std::span<const uint8_t> req, EngineOutput& out) {
    const uint8_t code = req[0];
    switch (Admit(KindOf(code))) {
    case RequestFault::Ignore: return;
    case RequestFault::Refuse: Nak(out, dmss_nak::kOperationFailed); return;
    case RequestFault::None: break;
    }
    switch (code) {
    case dmss_cmd::kNop:
        if (req.size() != 1) return Nak(out, dmss_nak::kInvalidLength);
        return Ack(out);
    case dmss_cmd::kParamRequest: return Parameters(req, out);
    case dmss_cmd::kWrite: return Write(req, out);
    case dmss_cmd::kGo: return Go(req, out);
    case dmss_cmd::kVersionRequest: {
        if (req.size() != 1) return Nak(out, dmss_nak::kInvalidLength);
        std::vector<uint8_t> reply{dmss_cmd::kVersionReply,
                                   static_cast<uint8_t>(std::strlen(kDmssVersionText))};
        wire::PutText(reply, kDmssVersionText);
        return Reply(out, reply, true);
    }
    case dmss_cmd::kReset:
        if (req.size() != 1) return Nak(out, dmss_nak::kInvalidLength);
        Ack(out);
        out.events.push_back(DeviceEvent::Reset);
        return;
    case dmss_cmd::kPowerDown:
        if (req.size() != 1) return Nak(out, dmss_nak::kInvalidLength);
        Ack(out);
        out.events.push_back(DeviceEvent::PowerOff);
        return;
    case dmss_cmd::kDiagDownload:
        // The diagnostic switch request is no bootloader command: a client that repeats it
        // after the switch is refused like any unknown request (counted apart so tests can
        // see it happened).
        return Nak(out, dmss_nak::kInvalidCommand);
    default:
        return Nak(out, dmss_nak::kInvalidCommand);
    }
}

// Parameters: 08, protocol version, minimum version, largest write (big-endian), model,
// device size, device type.
void DmssHandler::Parameters(std::span<const uint8_t> req, EngineOutput& out) {
    if (req.size() != 1) return Nak(out, dmss_nak::kInvalidLength);
    const DeviceSettings& s = model_.settings;
    std::vector<uint8_t> reply{dmss_cmd::kParamReply, s.dmssVersion, s.dmssMinVersion};
    wire::PutBe16(reply, s.dmssMaxWriteSize);
    reply.push_back(s.dmssModel);
    reply.push_back(s.dmssDeviceSize);
    reply.push_back(s.dmssDeviceType);
    Reply(out, reply, s.dmssParamsLeadingFlag);
}

// Write: 0F, address (4), length (2), data.
void DmssHandler::Write(std::span<const uint8_t> req, EngineOutput& out) {
    if (req.size() < 7) return Nak(out, dmss_nak::kUnexpectedEnd);
    const uint32_t address = wire::Be32(req, 1);
    const uint16_t length = wire::Be16(req, 5);
    if (length > model_.settings.dmssMaxWriteSize) return Nak(out, dmss_nak::kDataTooLarge);
    if (req.size() != size_t{7} + length) return Nak(out, dmss_nak::kInvalidLength);
    if (!model_.ram.Write(address, req.data() + 7, length)) return Nak(out, dmss_nak::kInvalidAddress);
    Ack(out);
}

// Go: 05, address (4). The bootloader acknowledges and jumps; only a programmer made for
// this device survives the jump.
void DmssHandler::Go(std::span<const uint8_t> req, EngineOutput& out) {
    if (req.size() != 5) return Nak(out, dmss_nak::kInvalidLength);
    const uint32_t address = wire::Be32(req, 1);
    const ProgrammerCheck check = CheckProgrammer(model_.ram, address, model_.settings.projectType);
    Ack(out);
    if (check.valid) {
        out.events.push_back(DeviceEvent::ProgrammerRunning);
    } else {
        model_.Count("dmss.crash");
        out.events.push_back(DeviceEvent::Crash);
    }
}

}  // namespace flintcast::sim
