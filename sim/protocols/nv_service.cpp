#include "sim/protocols/nv_service.h"

#include <algorithm>

#include "sim/protocols/diag_replies.h"
#include "sim/protocols/wire.h"

namespace flintcast::sim {
namespace {

std::optional<uint16_t> Override(ProtocolFaultHooks* faults, uint16_t id) {
    return faults != nullptr ? faults->NvStatusFor(id) : std::nullopt;
}

std::vector<uint8_t> NvAnswer(uint8_t code, uint16_t id, const std::array<uint8_t, kNvItemBytes>& data,
                              uint16_t status) {
    std::vector<uint8_t> reply;
    reply.reserve(kNvRequestBytes);
    reply.push_back(code);
    wire::PutLe16(reply, id);
    reply.insert(reply.end(), data.begin(), data.end());
    wire::PutLe16(reply, status);
    return reply;
}

// A missing RF NV item answers "failed", as the item store reports a missing file.
constexpr uint16_t kRfNvMissing = static_cast<uint16_t>(NvStatus::Fail);

}  // namespace

std::vector<uint8_t> HandleNvRead(std::span<const uint8_t> request, DeviceModel& model,
                                  ProtocolFaultHooks* faults) {
    if (request.size() != kNvRequestBytes) return DiagRefusal(kDiagBadLength, request);
    const uint16_t id = wire::Le16(request, 1);
    if (const uint8_t refusal = model.NvLockAnswer(id, false)) return DiagRefusal(refusal, request);
    if (const auto status = Override(faults, id); status && *status != 0) {
        return NvAnswer(request[0], id, {}, *status);
    }
    const auto result = model.nv.Read(id);
    return NvAnswer(request[0], id, result.data, static_cast<uint16_t>(result.status));
}

std::vector<uint8_t> HandleNvWrite(std::span<const uint8_t> request, DeviceModel& model,
                                   ProtocolFaultHooks* faults) {
    if (request.size() != kNvRequestBytes) return DiagRefusal(kDiagBadLength, request);
    const uint16_t id = wire::Le16(request, 1);
    if (const uint8_t refusal = model.NvLockAnswer(id, true)) return DiagRefusal(refusal, request);
    std::array<uint8_t, kNvItemBytes> data{};
    std::copy_n(request.begin() + 3, kNvItemBytes, data.begin());
    if (const auto status = Override(faults, id); status && *status != 0) {
        return NvAnswer(request[0], id, data, *status);
    }
    const NvStatus status = model.nv.Write(id, data);
    return NvAnswer(request[0], id, data, static_cast<uint16_t>(status));
}

std::vector<uint8_t> HandleRfNv(std::span<const uint8_t> request, DeviceModel& model,
                                ProtocolFaultHooks* faults) {
    // The factory-test subsystem only answers in test mode.
    if (!model.testMode) return DiagRefusal(kDiagBadCommand, request);
    const uint16_t op = wire::Le16(request, 4);
    if (op != kRfNvReadOp && op != kRfNvWriteOp) return DiagRefusal(kDiagBadCommand, request);

    std::vector<uint8_t> reply(request.begin(), request.begin() + kRfNvHeaderBytes);
    if (op == kRfNvReadOp) {
        if (request.size() != kRfNvHeaderBytes + 2) return DiagRefusal(kDiagBadLength, request);
        const uint16_t id = wire::Le16(request, 10);
        const RfNvItem* item = model.nv.FindRf(id);
        auto status = Override(faults, id);
        if (!status) status = item != nullptr ? 0 : kRfNvMissing;
        const bool withData = *status == 0 && item != nullptr;
        wire::PutLe16(reply, *status);
        wire::PutLe16(reply, id);
        wire::PutLe16(reply, withData ? static_cast<uint16_t>(item->data.size()) : 0);
        if (withData) reply.insert(reply.end(), item->data.begin(), item->data.end());
        return reply;
    }

    // Write: header, id, size n, n data bytes (a client may add a two-byte pad).
    if (request.size() < kRfNvHeaderBytes + 4) return DiagRefusal(kDiagBadLength, request);
    const uint16_t id = wire::Le16(request, 10);
    const uint16_t size = wire::Le16(request, 12);
    const size_t dataAt = kRfNvHeaderBytes + 4;
    if (request.size() < dataAt + size || request.size() > dataAt + size + 2) {
        return DiagRefusal(kDiagBadLength, request);
    }
    auto status = Override(faults, id);
    if (!status) {
        const std::vector<uint8_t> data(request.begin() + dataAt, request.begin() + dataAt + size);
        status = model.nv.WriteRf(id, data) ? 0 : static_cast<uint16_t>(NvStatus::Full);
    }
    wire::PutLe16(reply, *status);
    wire::PutLe16(reply, id);
    wire::PutLe16(reply, size);
    return reply;
}

}  // namespace flintcast::sim
