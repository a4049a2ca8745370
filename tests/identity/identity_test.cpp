// Identity reads, at.bak and the restore against a scripted modem port.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <mutex>

#include "engine/at_channel.h"
#include "engine/identity.h"
#include "platform/ini_file.h"
#include "tests/at/scripted_port.h"
#include "devkit/worker_rig.h"
#include "devkit/devsim_rig.h"

using namespace flintcast;
using namespace flintcast::engine;
using flintcast::testing::ScriptedPort;
using flintcast::testing::WorkerRig;
namespace fs = std::filesystem;

namespace {

// A modem that answers reads from `values` (by read command prefix), "ERROR" for commands in
// `rejected` (each entry rejects as often as it is listed, or always when listed as "*"), and
// "OK" to everything else. Records every command.
struct Modem {
    std::map<std::string, std::string> values = {
        {"AT+ZRVSN=0,5", "SN123"},          {"AT+ZRVSN=0,7", "860046000000017"}, {"AT+ZRVSN=0,8", "80460001"},
        {"AT+ZRVSN=0,9", "A1000046000001"}, {"AT+ZRVSN=0,10", "00:1A:7D"},      {"AT+WIFICAL?", "0A0B"},
        {"AT+ZRVSN=0,11", "001A7D"},        {"AT+ZRVSN=0,12", "SALES 1"},        {"AT+TESTINF2=?", "cal:pass,uit87:pass,UIT89:Fail"},
        {"AT+CUIT87?", " PASS"},            {"AT+CUIT89?", "FAIL "},
    };
    std::map<std::string, int> rejected;
    std::mutex mutex;
    std::vector<std::string> commands;

    std::string operator()(const std::string& in) {
        std::lock_guard lock(mutex);
        const std::string command = in.substr(0, in.find('\r'));
        commands.push_back(command);
        for (auto& [prefix, times] : rejected) {
            if (command.rfind(prefix, 0) == 0 && times != 0) {
                if (times > 0) --times;
                return "\r\nERROR\r\n";
            }
        }
        const auto it = values.find(command);
        if (it != values.end()) return "\r\n+X:" + it->second + "\r\n\r\nOK\r\n";
        return "\r\nOK\r\n";
    }
    std::vector<std::string> sent() {
        std::lock_guard lock(mutex);
        return commands;
    }
};

struct IdentityRig {
    WorkerRig rig{46, 0.01};
    Modem modem;
    ScriptedPort port{rig.root.path(), "ttyUSB2", [this](const std::string& in) { return modem(in); }};
    std::unique_ptr<AtChannel> at;
    std::unique_ptr<DeviceIdentity> identity;
    std::string atBak = (rig.root.path() / "at.bak").string();

    explicit IdentityRig(int32_t project = 46) {
        rig.ctx.projectType = project;
        rig.serial.modemPortName = "ttyUSB2";
        rig.serial.OpenModemPort();
        at = std::make_unique<AtChannel>(rig.ctx, rig.directory, AtSettings{});
        identity = std::make_unique<DeviceIdentity>(rig.ctx, *at);
    }
    std::vector<std::string> writes() {
        std::vector<std::string> out;
        // Everything but the reads and the port test.
        for (const auto& c : modem.sent()) {
            if (c != "AT" && c.rfind("AT+ZRVSN=0,", 0) != 0 && c.find('?') == std::string::npos) out.push_back(c);
        }
        return out;
    }
};

}  // namespace

TEST(IdentityRead, ReadRulesAndBackupFile) {
    IdentityRig t;
    t.modem.rejected["AT+ZRVSN=0,7"] = 1;  // the IMEI answers on the second attempt
    ASSERT_TRUE(t.identity->ReadIdentity());
    EXPECT_TRUE(t.identity->read(IdentityValue::Imei));
    const auto sent = t.modem.sent();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "AT+ZRVSN=0,7"), 2);
    EXPECT_TRUE(t.rig.posted("Read IMEI"));
    // The UIT results leave the test information; their own values are trimmed.
    EXPECT_EQ(t.identity->value(IdentityValue::TestInfo), "CAL:PASS");
    EXPECT_EQ(t.identity->value(IdentityValue::Uit87), "PASS");
    EXPECT_EQ(t.identity->value(IdentityValue::Uit89), "FAIL");
    EXPECT_FALSE(t.identity->read(IdentityValue::Esn));  // the ESN switch is off
    EXPECT_FALSE(t.identity->read(IdentityValue::Meid));  // not a CDMA device
    t.identity->WriteIdentityBackup(t.atBak);
    std::string text = flintcast::testing::ReadText(t.atBak);
    std::erase(text, '\r');
    EXPECT_NE(text.find("[BACKUP]\nbSN=1\nESN=0\nbIMEI=1\nbIMEI_1=0\nbMEID=0\nbBLUETOOTH=1\nbWifiCal=1\n"
                        "bSalesCount=1\nbSalesInfo=1\nbTESTINF=1\nbUIT87=1\nbUIT89=1\n"),
              std::string::npos) << text;
    EXPECT_NE(text.find("[Data]\nSN=SN123\nIMEI=860046000000017\nBLUETOOTHADDR=00:1A:7D\nWifiCal=0A0B\n"
                        "SalesCount=001A7D\nSalesInfo=SALES 1\nTESTINF=CAL:PASS\nUIT87=PASS\nUIT89=FAIL\n"),
              std::string::npos) << text;
}

TEST(IdentityRead, ZeroImeiAndEsnSwitchAndNewWays) {
    IdentityRig t(35);
    t.modem.values["AT+ZRVSN=0,7"] = "000000000000000";
    t.rig.config.uitNewWays = true;
    ASSERT_TRUE(t.identity->ReadIdentity());
    EXPECT_FALSE(t.identity->read(IdentityValue::Imei));  // project 35 does not read it at all
    EXPECT_TRUE(t.rig.posted("Read ESN"));
    EXPECT_FALSE(t.identity->read(IdentityValue::Esn));
    EXPECT_FALSE(t.identity->read(IdentityValue::Meid));  // read from project 36 on
    EXPECT_EQ(t.identity->value(IdentityValue::TestInfo), "CAL:PASS,UIT87:PASS,UIT89:FAIL");

    IdentityRig zero;
    zero.modem.values["AT+ZRVSN=0,7"] = "000000000000000";
    zero.rig.config.esn = true;
    ASSERT_TRUE(zero.identity->ReadIdentity());
    EXPECT_TRUE(zero.rig.posted("Read IMEI"));
    EXPECT_FALSE(zero.identity->read(IdentityValue::Imei));
    EXPECT_TRUE(zero.identity->read(IdentityValue::Esn));
    EXPECT_EQ(CleanTestInfo("abc,UIT87:pass,uit89:FAIL", false), "ABC");
}

TEST(IdentityRestore, WriteOrderQuotingAndFailureHandling) {
    IdentityRig t;
    t.rig.config.simLock = true;
    ASSERT_TRUE(t.identity->ReadIdentity());
    t.identity->WriteIdentityBackup(t.atBak);
    // A Bluetooth address kept empty is not written.
    auto ini = platform::IniFile::Load(t.atBak);
    ASSERT_TRUE(ini);
    ini->writeString("Data", "BLUETOOTHADDR", "");
    ASSERT_TRUE(ini->save(t.atBak));
    const std::string before = flintcast::testing::ReadText(t.atBak);
    t.modem.rejected["AT+ZRVSN=1,11,"] = -1;  // the sales count cannot be written
    t.modem.rejected["AT\r"] = 0;
    EXPECT_TRUE(t.identity->RestoreIdentity(t.atBak));
    EXPECT_TRUE(t.rig.posted("Test Serial port (0)."));
    EXPECT_TRUE(t.rig.posted("Serial port ready"));
    EXPECT_TRUE(t.rig.posted("BLUETOOTHADDR Empty."));
    EXPECT_TRUE(t.rig.posted("Not support write SalesCount/WIFIMAC."));
    EXPECT_TRUE(t.rig.posted("Write SIMLOCK successfully"));
    EXPECT_TRUE(t.rig.errors().empty());
    const std::vector<std::string> want = {
        "AT+ZRVSN=1,5,\"SN123\"", "AT+ZRVSN=1,7,\"860046000000017\"", "AT+ZRVSN=1,11,\"001A7D\"",
        "AT+WIFICAL=\"0A0B\"",    "AT+ZRVSN=1,12,\"SALES 1\"",        "AT+TESTINF2=\"CAL:PASS\"",
        "AT+CUIT87=PASS",         "AT+CUIT89=FAIL",                   "AT+NWLSET=0",
    };
    EXPECT_EQ(t.writes(), want);
    EXPECT_EQ(flintcast::testing::ReadText(t.atBak), before);
}

TEST(IdentityRestore, RejectedWritesStopOrGoOn) {
    {
        IdentityRig t;
        ASSERT_TRUE(t.identity->ReadIdentity());
        t.identity->WriteIdentityBackup(t.atBak);
        t.modem.rejected["AT+ZRVSN=1,12,"] = -1;  // sales information: go on
        t.modem.rejected["AT+CUIT87="] = -1;      // UIT87: stop
        EXPECT_FALSE(t.identity->RestoreIdentity(t.atBak));
        ASSERT_EQ(t.rig.errors().size(), 1u);
        EXPECT_NE(t.rig.errors()[0].find("Fail to Write sales information"), std::string::npos);
        const auto w = t.writes();
        EXPECT_EQ(w.back(), "AT+CUIT87=PASS");
        EXPECT_NE(std::find(w.begin(), w.end(), "AT+TESTINF2=\"CAL:PASS\""), w.end());
    }
    {
        // A value that was read but is missing from at.bak is not written over the device's.
        IdentityRig t;
        ASSERT_TRUE(t.identity->ReadIdentity());
        t.identity->WriteIdentityBackup(t.atBak);
        std::string text = flintcast::testing::ReadText(t.atBak);
        text.erase(text.find("SN=SN123\n"), 9);
        std::ofstream(t.atBak, std::ios::binary) << text;
        t.identity->RestoreIdentity(t.atBak);
        ASSERT_FALSE(t.rig.errors().empty());
        EXPECT_NE(t.rig.errors()[0].find("at.bak holds no SN value: " + t.atBak), std::string::npos);
        for (const auto& w : t.writes()) EXPECT_NE(w.rfind("AT+ZRVSN=1,5,", 0), 0u) << w;
        EXPECT_EQ(flintcast::testing::ReadText(t.atBak), text);
    }
    {
        IdentityRig t;
        ASSERT_TRUE(t.identity->ReadIdentity());
        EXPECT_FALSE(t.identity->RestoreIdentity(t.atBak));  // never written
        ASSERT_EQ(t.rig.errors().size(), 1u);
        EXPECT_NE(t.rig.errors()[0].find("Could not open backup file: " + t.atBak), std::string::npos);
        EXPECT_TRUE(t.writes().empty());
    }
}
