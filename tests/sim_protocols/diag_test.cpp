// DIAG requests on the diagnostic port: byte-exact answers, NV and RF NV items, mode
// requests, and malformed frames answered (or dropped) as the device does.
#include <gtest/gtest.h>

#include "sim/fault_hooks.h"
#include "sim/faults.h"
#include "sim/protocols/diag_port_engine.h"
#include "sim/protocols/protocol_faults.h"
#include "tests/sim_protocols/sim_driver.h"

namespace flintcast::sim::testing {
namespace {

Bytes NvRead(uint16_t id) {
    Bytes req{0x26, static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8)};
    req.resize(131, 0x00);
    req.push_back(0xCC);
    req.push_back(0xCC);
    return req;
}

Bytes NvWrite(uint16_t id, uint8_t fill) {
    Bytes req{0x27, static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8)};
    req.resize(131, fill);
    req.push_back(0);
    req.push_back(0);
    return req;
}

uint16_t StatusOf(const Bytes& answer) { return static_cast<uint16_t>(answer[131] | (answer[132] << 8)); }

class DiagTest : public ::testing::Test {
protected:
    DiagTest() {
        NvItem item{550, {}, NvStatus::Done};
        for (size_t i = 0; i < item.data.size(); ++i) item.data[i] = static_cast<uint8_t>(i);
        model.nv.Set(item);
        model.nv.Set({6503, {}, NvStatus::Inactive});
        model.nv.Set({1943, {0x11}, NvStatus::ReadOnly});
        model.nv.Set({77, {}, NvStatus::NotDefined});
        model.nv.SetRf({20208, {0x18, 0x01, 0x17, 0x01}});
        model.settings.platformByte = 0x5A;
    }
    DeviceModel model;
    DiagPortEngine engine{model, Personality::Diagnostic};
};

TEST_F(DiagTest, NvReadAnswersItemDataAndStatusWithoutLeadingFlag) {
    EngineOutput out;
    const Bytes answer = Ask(engine, NvRead(550), false, &out);
    ASSERT_EQ(answer.size(), 133u);
    EXPECT_EQ(answer[0], 0x26);
    EXPECT_EQ(answer[1], 0x26);  // id 550 = 0x0226, low byte first
    EXPECT_EQ(answer[2], 0x02);
    for (size_t i = 0; i < 128; ++i) ASSERT_EQ(answer[3 + i], i) << i;
    EXPECT_EQ(StatusOf(answer), 0);
    ASSERT_EQ(out.replies.size(), 1u);
    EXPECT_NE(out.replies[0].bytes.front(), 0x7E);
    EXPECT_EQ(out.replies[0].bytes.back(), 0x7E);
    EXPECT_EQ(model.Counter("diag.nv_read"), 1u);
}

TEST_F(DiagTest, NvStatusesFollowTheItemState) {
    EXPECT_EQ(StatusOf(Ask(engine, NvRead(6503))), 5);  // inactive
    EXPECT_EQ(StatusOf(Ask(engine, NvRead(77))), 8);    // not defined
    EXPECT_EQ(StatusOf(Ask(engine, NvRead(4242))), 5);  // never written
    EXPECT_EQ(StatusOf(Ask(engine, NvRead(1943))), 0);  // read-only items still read

    EXPECT_EQ(StatusOf(Ask(engine, NvWrite(1943, 0xAB))), 7);
    EXPECT_EQ(model.nv.Find(1943)->data[0], 0x11);
    EXPECT_EQ(StatusOf(Ask(engine, NvWrite(77, 0xAB))), 8);

    // Writing an inactive or unknown item makes it active with the written data.
    const Bytes written = Ask(engine, NvWrite(6503, 0x42));
    EXPECT_EQ(written[0], 0x27);
    EXPECT_EQ(StatusOf(written), 0);
    const Bytes reread = Ask(engine, NvRead(6503));
    EXPECT_EQ(StatusOf(reread), 0);
    EXPECT_EQ(reread[3], 0x42);
    EXPECT_EQ(StatusOf(Ask(engine, NvWrite(9000, 0x01))), 0);
    EXPECT_EQ(model.nv.Find(9000)->status, NvStatus::Done);
}

struct NvStatusFault : ProtocolFaultHooks {
    std::optional<uint16_t> NvStatusFor(uint16_t id) override {
        return id == 550 ? std::optional<uint16_t>(0x0100) : std::nullopt;
    }
};

TEST_F(DiagTest, FaultHookOverridesNvStatusAndLeavesItemAlone) {
    NvStatusFault faults;
    DiagPortEngine faulty(model, Personality::Diagnostic, &faults);
    EXPECT_EQ(StatusOf(Ask(faulty, NvRead(550))), 0x0100);
    EXPECT_EQ(StatusOf(Ask(faulty, NvWrite(550, 0xFF))), 0x0100);
    EXPECT_EQ(model.nv.Find(550)->data[5], 5);
}

TEST_F(DiagTest, MalformedRequestsGetRefusalsWithTheRequestEchoed) {
    Bytes shortRead = NvRead(550);
    shortRead.pop_back();
    EXPECT_EQ(Ask(engine, shortRead), Concat({0x15}, shortRead));
    Bytes longRead = NvRead(550);
    longRead.push_back(0);
    EXPECT_EQ(Ask(engine, longRead), Concat({0x15}, longRead));
    EXPECT_EQ(Ask(engine, {0xF3, 0x01}), (Bytes{0x13, 0xF3, 0x01}));
    EXPECT_EQ(Ask(engine, {0x29, 0x09, 0x00}), (Bytes{0x14, 0x29, 0x09, 0x00}));
    EXPECT_EQ(Ask(engine, {0x4B, 0x13}), (Bytes{0x15, 0x4B, 0x13}));
    EXPECT_EQ(Ask(engine, {0x4B, 0x22, 0x01, 0x00}), (Bytes{0x13, 0x4B, 0x22, 0x01, 0x00}));
}

TEST_F(DiagTest, BadFramesAreDroppedAndTheStreamRecovers) {
    Bytes corrupt = Frame(NvRead(550));
    corrupt[5] ^= 0x01;
    EXPECT_TRUE(engine.Feed(corrupt).empty());
    EXPECT_TRUE(engine.Feed(Bytes{0x26, 0x7E}).empty());  // too short
    EXPECT_EQ(model.Counter("diag.bad_crc"), 1u);

    // Noise, a leading flag, two requests in one chunk and one split across two chunks.
    Bytes stream = {0x7E, 0x7E};
    stream = Concat(stream, Frame({0x00}, true));
    stream = Concat(stream, Frame({0x7C}));
    const EngineOutput both = engine.Feed(stream);
    const auto frames = Payloads(both);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0][0], 0x00);
    EXPECT_EQ(frames[1][0], 0x7C);

    const Bytes split = Frame(NvRead(550));
    EXPECT_TRUE(engine.Feed(Bytes(split.begin(), split.begin() + 40)).empty());
    const auto rest = Payloads(engine.Feed(Bytes(split.begin() + 40, split.end())));
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(rest[0].size(), 133u);
}

TEST_F(DiagTest, BuildIdCarriesPlatformAtOffsetEight) {
    const Bytes answer = Ask(engine, {0x7C});
    ASSERT_GE(answer.size(), 12u);
    EXPECT_EQ(answer[0], 0x7C);
    EXPECT_EQ(answer[1], 0x02);
    EXPECT_EQ(answer[8], 0x5A);
}

TEST_F(DiagTest, ServiceCodeIsCheckedAgainstTheDevice) {
    model.settings.serviceProgrammingCode = "123456";
    EXPECT_EQ(Ask(engine, Concat({0x41}, Text("123456", false))), (Bytes{0x41, 0x01}));
    EXPECT_EQ(Ask(engine, Concat({0x41}, Text("000000", false))), (Bytes{0x41, 0x00}));
}

TEST_F(DiagTest, ModeRequestsEchoAndRaiseEvents) {
    EngineOutput out;
    EXPECT_EQ(Ask(engine, {0x29, 0x01, 0x00}, false, &out), (Bytes{0x29, 0x01, 0x00}));
    EXPECT_EQ(out.events, std::vector<DeviceEvent>{DeviceEvent::Offline});
    EXPECT_TRUE(model.offline);
    EXPECT_EQ(Ask(engine, {0x29, 0x02, 0x00}, false, &out), (Bytes{0x29, 0x02, 0x00}));
    EXPECT_EQ(out.events, std::vector<DeviceEvent>{DeviceEvent::Reset});

    // The switch to download is answered with exactly 3A, its check sequence and a flag.
    const EngineOutput sw = engine.Feed(Frame({0x3A}));
    ASSERT_EQ(sw.replies.size(), 1u);
    EXPECT_EQ(sw.replies[0].bytes, (Bytes{0x3A, 0xA1, 0x6E, 0x7E}));
    EXPECT_EQ(sw.events, std::vector<DeviceEvent>{DeviceEvent::SwitchToDownload});
}

TEST_F(DiagTest, RfNvNeedsTestModeThenReadsAndWritesItems) {
    const Bytes read20208 = {0x4B, 0x0B, 0x24, 0x00, 0x5C, 0x02, 0x00, 0x00, 0x90, 0x00, 0xF0, 0x4E};
    EXPECT_EQ(Ask(engine, read20208), Concat({0x13}, read20208));

    EXPECT_EQ(Ask(engine, {0x4B, 0x04, 0x0E, 0x00}), (Bytes{0x4B, 0x04, 0x0E, 0x00}));
    const Bytes answer = Ask(engine, read20208);
    ASSERT_EQ(answer.size(), 20u);
    EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 10), Bytes(read20208.begin(), read20208.begin() + 10));
    EXPECT_EQ(answer[10], 0);                                   // status
    EXPECT_EQ(answer[12], 0xF0);                                // id
    EXPECT_EQ(answer[14], 4);                                   // size
    EXPECT_EQ(Bytes(answer.begin() + 16, answer.end()), (Bytes{0x18, 0x01, 0x17, 0x01}));

    Bytes missing = read20208;
    missing[10] = 0x01;
    EXPECT_EQ(Ask(engine, missing)[10], 4);  // a missing item fails the read

    Bytes write = {0x4B, 0x0B, 0x24, 0x00, 0x5D, 0x02, 0x00, 0x00, 0x0E, 0x00, 0x10, 0x4F, 0x03, 0x00, 7, 8, 9};
    const Bytes written = Ask(engine, write);
    EXPECT_EQ(written[0], 0x4B);
    EXPECT_EQ(written[10], 0);
    EXPECT_EQ(model.nv.FindRf(0x4F10)->data, (Bytes{7, 8, 9}));
    write.push_back(1);  // three bytes more than the size field allows (a pad of two is tolerated)
    write.push_back(2);
    write.push_back(3);
    EXPECT_EQ(Ask(engine, write)[0], 0x15);

    model.OnRestart();
    EXPECT_EQ(Ask(engine, read20208)[0], 0x13);
}

struct RefuseEverything : ProtocolFaultHooks {
    RequestFault OnRequest(std::string_view kind) override {
        return kind == "diag.version" ? RequestFault::Ignore : RequestFault::Refuse;
    }
};

TEST_F(DiagTest, RequestFaultsRefuseOrSwallowWithoutChangingState) {
    RefuseEverything faults;
    DiagPortEngine faulty(model, Personality::Diagnostic, &faults);
    EXPECT_TRUE(faulty.Feed(Frame({0x00})).empty());
    EngineOutput out;
    EXPECT_EQ(Ask(faulty, {0x3A}, false, &out), (Bytes{0x13, 0x3A}));
    EXPECT_TRUE(out.events.empty());
    EXPECT_EQ(Ask(faulty, NvWrite(550, 0xFF))[0], 0x13);
    EXPECT_EQ(model.nv.Find(550)->data[5], 5);
}

TEST_F(DiagTest, ReplyFaultsOfOneRequestKindLoseSpoilOrDelayItsAnswerAfterItWasCarriedOut) {
    Faults rules;
    ASSERT_EQ(rules.add("drop-reply:diag.nv_write@1;corrupt-crc:diag.nv_write@2;delay-reply:diag.nv_write=700@3"), "");
    FaultHooks hooks(rules);
    DiagPortEngine faulty(model, Personality::Diagnostic, &hooks);
    // Lost: no answer, yet the item is written, as when a reply dies on the cable.
    EXPECT_TRUE(faulty.Feed(Frame(NvWrite(550, 0x21))).replies.empty());
    EXPECT_EQ(model.nv.Find(550)->data[5], 0x21);
    // Another kind of request in between is not counted and answers normally.
    EXPECT_EQ(StatusOf(Ask(faulty, NvRead(550))), 0);
    // Spoiled: the answer's check sequence fails; the write took place.
    EXPECT_EQ(Payloads(faulty.Feed(Frame(NvWrite(550, 0x22)))), (std::vector<Bytes>{{0xEE, 0xEE}}));
    EXPECT_EQ(model.nv.Find(550)->data[5], 0x22);
    // Late: the whole answer, 700 tool milliseconds after the request.
    const EngineOutput late = faulty.Feed(Frame(NvWrite(550, 0x23)));
    ASSERT_EQ(late.replies.size(), 1u);
    EXPECT_EQ(late.replies[0].delayMs, 700u);
    EXPECT_EQ(StatusOf(Payloads(late)[0]), 0);
    // Spent: the fourth write answers at once.
    EngineOutput out;
    EXPECT_EQ(StatusOf(Ask(faulty, NvWrite(550, 0x24), false, &out)), 0);
    EXPECT_EQ(out.replies[0].delayMs, 0u);
}

}  // namespace
}  // namespace flintcast::sim::testing
