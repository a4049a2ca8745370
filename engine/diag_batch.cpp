#include "engine/diag_batch.h"

#include <array>
#include <deque>

#include "codec/hdlc.h"
#include "engine/diag_exchange.h"

namespace flintcast::engine {
namespace {

// The diagnostic port's read row for the batch: what is waiting at once, else the first byte
// within the silence limit. The port's own row is put back afterwards.
class BatchTimeouts {
public:
    explicit BatchTimeouts(platform::SerialPort& port) : port_(port), saved_(port.timeouts()) {
        platform::SerialTimeouts row = saved_;
        row.readInterval = platform::kMaxDword;
        row.readMultiplier = platform::kMaxDword;
        row.readConstant = kDiagBatchSilenceMs;
        port_.setTimeouts(row);
    }
    ~BatchTimeouts() { port_.setTimeouts(saved_); }
    BatchTimeouts(const BatchTimeouts&) = delete;
    BatchTimeouts& operator=(const BatchTimeouts&) = delete;

private:
    platform::SerialPort& port_;
    platform::SerialTimeouts saved_;
};

// Windows in a row that lost every answer: the unit is not answering any more, and what is
// left goes to the single requests (which end at the first that gets no answer).
constexpr int kLostWindowsToStop = 2;

}  // namespace

DiagBatchResult DiagBatchExchange(WorkerContext& ctx, const std::vector<std::vector<uint8_t>>& requests,
                                  const DiagAnswerCheck& isAnswer) {
    DiagBatchResult result;
    result.answers.resize(requests.size());
    {
        BatchTimeouts rowForBatch(ctx.serial.diag());
        hdlc::FrameDecoder decoder(false);
        std::deque<size_t> owed;
        std::vector<uint8_t> out;
        std::array<uint8_t, 4096> in{};
        size_t next = 0;
        int silentReads = 0;
        int lostWindows = 0;
        bool answeredSinceLoss = false;
        while ((next < requests.size() || !owed.empty()) && ctx.ok()) {
            out.clear();
            while (next < requests.size() && owed.size() < kDiagBatchWindow) {
                hdlc::EncodeFrameInto(out, requests[next], false);
                owed.push_back(next++);
            }
            if (!out.empty() && ctx.serial.WriteDiag(out.data(), static_cast<uint32_t>(out.size())) != out.size()) break;
            const uint32_t got = ctx.serial.ReadDiag(in.data(), static_cast<uint32_t>(in.size()));
            if (got == 0) {
                if (++silentReads < kDiagBatchSilentReads) continue;
                // Whatever is still owed went missing; it is asked again singly below.
                silentReads = 0;
                owed.clear();
                decoder.reset();
                if (!answeredSinceLoss && ++lostWindows >= kLostWindowsToStop) break;
                answeredSinceLoss = false;
                continue;
            }
            silentReads = 0;
            lostWindows = 0;
            answeredSinceLoss = true;
            std::span<const uint8_t> bytes(in.data(), got);
            while (!bytes.empty()) {
                size_t used = 0;
                const auto status = decoder.feed(bytes, used);
                bytes = bytes.subspan(used == 0 ? 1 : used);
                if (status != hdlc::FrameDecoder::Status::Frame) continue;
                const auto payload = decoder.payload();
                // The answer belongs to the oldest owed request it fits; older ones lost theirs.
                for (auto it = owed.begin(); it != owed.end(); ++it) {
                    if (!isAnswer(*it, payload)) continue;
                    result.answers[*it].emplace(payload.begin(), payload.end());
                    owed.erase(owed.begin(), it + 1);
                    break;
                }
            }
        }
        if (!ctx.ok()) return result;
    }
    for (size_t i = 0; i < requests.size() && ctx.ok(); ++i) {
        for (int attempt = 0; attempt < kDiagBatchRetries && !result.answers[i] && ctx.ok(); ++attempt) {
            SendDiagRequest(ctx, requests[i]);
            // Answers of the batch that came late are still on their way: they are passed over
            // (a bounded number of them), not counted as this request's attempts.
            for (size_t frames = 0; frames <= 2 * kDiagBatchWindow && ctx.ok(); ++frames) {
                const auto payload = ReadDiagAnswer(ctx).payload();
                if (payload.empty()) break;
                if (!isAnswer(i, payload)) continue;
                result.answers[i].emplace(payload.begin(), payload.end());
                break;
            }
        }
        if (!result.answers[i]) return result;
    }
    result.complete = ctx.ok();
    return result;
}

}  // namespace flintcast::engine
