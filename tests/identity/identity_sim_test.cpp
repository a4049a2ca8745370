// Identity round trip against flintcast-devsim: read, at.bak, values spoiled, restore.
#include <gtest/gtest.h>

#include "engine/identity.h"
#include "devkit/devsim_rig.h"

using namespace flintcast;
using namespace flintcast::engine;
using flintcast::testing::DevsimRig;

TEST(IdentitySimulator, ReadBackupAndRestoreRoundTrip) {
    DevsimRig sim;
    ASSERT_TRUE(sim.ready) << sim.log();
    DeviceIdentity identity(sim.worker.ctx, *sim.at);
    ASSERT_TRUE(identity.ReadIdentity());
    EXPECT_EQ(StripReply(identity.value(IdentityValue::SerialNumber)), "FC46V0000001");
    EXPECT_TRUE(identity.read(IdentityValue::Imei));
    EXPECT_TRUE(identity.read(IdentityValue::TestInfo));
    EXPECT_EQ(identity.value(IdentityValue::TestInfo), "CAL:PASS,FT:PASS");
    const std::string atBak = (sim.backup() / "at.bak").string();
    identity.WriteIdentityBackup(atBak);
    const auto before = sim.State()["modem"]["identity"];

    // Spoil the values a full update wipes.
    ASSERT_TRUE(sim.at->SendATValue("AT+ZRVSN=1,5,", 0, "\"WIPED\"", "spoil"));
    ASSERT_TRUE(sim.at->SendATValue("AT+ZRVSN=1,7,", 1, "\"000000000000000\"", "spoil"));
    ASSERT_TRUE(sim.at->SendATValue("AT+TESTINF2=", 2, "\"\"", "spoil"));
    ASSERT_NE(sim.State()["modem"]["identity"], before);

    // A restore in a later run takes its read flags from the file.
    DeviceIdentity later(sim.worker.ctx, *sim.at);
    ASSERT_TRUE(later.LoadReadFlags(atBak));
    EXPECT_TRUE(later.RestoreIdentity(atBak));
    EXPECT_TRUE(sim.worker.errors().empty()) << sim.worker.errors()[0];
    EXPECT_TRUE(sim.worker.posted("Restore SN"));
    const auto after = sim.State()["modem"]["identity"];
    EXPECT_EQ(after["sn"], before["sn"]);
    EXPECT_EQ(after["imei"], before["imei"]);
    // The test information comes back without its UIT results, which have values of their own.
    EXPECT_EQ(after["testinf"], "CAL:PASS,FT:PASS");
    EXPECT_EQ(after["uit87"], before["uit87"]);
}
