// Many DIAG requests in flight: every request gets its own answer, an answer the unit never
// sent is asked for again singly, and answers that arrive late are passed over rather than
// taken for the single request's answer.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

#include "codec/byte_order.h"
#include "codec/hdlc.h"
#include "config/project_config.h"
#include "engine/diag_batch.h"
#include "engine/nv_requests.h"
#include "tests/engine/loopback_port.h"

namespace flintcast::engine {
namespace {

std::vector<uint8_t> NvAnswer(uint16_t id) {
    auto answer = NvReadRequest(id);
    answer[3] = static_cast<uint8_t>(id);  // the item's data: its id
    return {answer.begin(), answer.end()};
}

// The unit on the master end: answers every NV read in order, except that it keeps quiet about
// `withheld` the first time; when asked for it again it first sends the answers of the three
// items before it once more (late answers), then the right one.
class NvUnit {
public:
    NvUnit(testing::LoopbackPorts& ports, uint16_t withheld) : ports_(ports), withheld_(withheld) {
        thread_ = std::thread([this] { Serve(); });
    }
    ~NvUnit() { Stop(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    // Read once the unit has stopped.
    int requestsFor(uint16_t id) const { return seen_.contains(id) ? seen_.at(id) : 0; }

private:
    void Serve() {
        hdlc::FrameDecoder decoder(false);
        while (!stop_) {
            const auto bytes = testing::LoopbackPorts::Drain(ports_.diagPty.masterFd(), 5);
            std::vector<uint8_t> out;
            for (uint8_t b : bytes) {
                if (decoder.feed(b) != hdlc::FrameDecoder::Status::Frame) continue;
                const auto request = decoder.payload();
                const uint16_t id = byte_order::Le16(request, 1);
                const int count = ++seen_[id];
                if (id == withheld_ && count == 1) continue;
                if (id == withheld_)
                    for (uint16_t stale = id - 3; stale < id; ++stale) hdlc::EncodeFrameInto(out, NvAnswer(stale), false);
                hdlc::EncodeFrameInto(out, NvAnswer(id), false);
            }
            if (!out.empty()) ports_.sendDiag(out);
        }
    }

    testing::LoopbackPorts& ports_;
    uint16_t withheld_;
    std::map<uint16_t, int> seen_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(DiagBatch, EveryRequestGetsItsOwnAnswerAndAMissingOneIsAskedAgainPastLateAnswers) {
    testing::LoopbackPorts ports;
    ports.serial.OpenDiagPort();
    ASSERT_TRUE(ports.reporter.ok());
    config::ProjectConfig config;
    WorkerContext ctx{ports.clock, ports.reporter, ports.serial, ports.frames, config, config.projectType};

    constexpr uint16_t kItems = 100;
    constexpr uint16_t kWithheld = 37;
    std::vector<std::vector<uint8_t>> requests;
    for (uint16_t id = 0; id < kItems; ++id) {
        const auto request = NvReadRequest(id);
        requests.emplace_back(request.begin(), request.end());
    }
    DiagBatchResult result;
    {
        NvUnit unit(ports, kWithheld);
        result = DiagBatchExchange(ctx, requests, [](size_t i, std::span<const uint8_t> payload) {
            return payload.size() == kNvRequestBytes && byte_order::Le16(payload, 1) == i;
        });
        unit.Stop();
        EXPECT_EQ(unit.requestsFor(kWithheld), 2) << "asked once in the batch and once on its own";
        EXPECT_EQ(unit.requestsFor(kWithheld + 1), 1);
    }
    ASSERT_TRUE(result.complete);
    ASSERT_EQ(result.answers.size(), kItems);
    for (uint16_t id = 0; id < kItems; ++id) {
        ASSERT_TRUE(result.answers[id]) << id;
        EXPECT_EQ((*result.answers[id])[3], id) << id;
    }
    EXPECT_TRUE(ports.reporter.ok());
}

}  // namespace
}  // namespace flintcast::engine
