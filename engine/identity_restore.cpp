// Writing the identity values back after the update, in the device's write order.
#include <algorithm>
#include <cerrno>
#include <optional>

#include <fmt/format.h>

#include "config/project_traits.h"
#include "engine/at_channel.h"
#include "engine/identity.h"
#include "engine/identity_table.h"
#include "platform/ini_file.h"

namespace flintcast::engine {
namespace {

using V = IdentityValue;

struct RestoreStep {
    IdentityValue value;
    std::string_view failureText;  // SendATValue reports it
    bool goOn;                     // a failed write does not end the restore
    std::string_view extraError;   // shown when the write failed without a text of its own
    std::string_view failureLine;  // posted when a failed write goes on
    std::string_view successLine;
    std::string_view emptyLine;    // the value is not written when it is empty
};

constexpr RestoreStep kBeforeSimLock[] = {
    {V::SerialNumber, "Fail to write SN", false, "Fail to Send Wirte SN Command!", "", "Restore SN", ""},
    {V::Esn, "Fail to write ESN", false, "", "", "Restore ESN", "ESN Empty."},
    {V::Imei, "Fail to write IMEI", false, "Fail to Send Wirte IMEI Command!", "", "Restore IMEI", "IMEI Empty."},
    {V::Imei1, "Fail to write IMEI_1", false, "", "", "Restore IMEI_1", "IMEI_1 Empty."},
    {V::Meid, "Fail to write MEID", false, "", "", "Restore MEID", "MEID Empty."},
    {V::Bluetooth, "Fail to Write BlueTooth Addr", false, "", "", "Restore BlueTooth Addr", "BLUETOOTHADDR Empty."},
    {V::SalesCount, "Fail to Write SalesCount/WIFIMAC", true, "", "Not support write SalesCount/WIFIMAC.",
     "Restore SalesCount/WIFIMAC", ""},
    {V::WifiCal, "Fail to wifi cal", false, "", "", "Restore wifi cal", ""},
    {V::SalesInfo, "Fail to Write sales information", true, "", "", "Restore sales information", ""},
    {V::TestInfo, "Fail to write TESTINFO", false, "Fail to Send Wirte Testinf Command!", "", "Restore TESTINFO", ""},
    {V::Uit87, "Fail to write UIT87", false, "", "", "Restore UIT87", ""},
    {V::Uit89, "Fail to write UIT89", false, "", "", "Restore UIT89", ""},
};

constexpr RestoreStep kAfterSimLock[] = {
    {V::Cllen, "Fail to write CLLEN", false, "", "", "Restore CLLEN", ""},
    {V::Zrreq, "Fail to write PLMN", false, "", "", "Restore PLMN", ""},
    {V::Gmi, "Fail to write GMI", false, "", "", "Restore GMI", ""},
};

constexpr std::string_view kEmptyQuoted = "\"\"";

}  // namespace

void DeviceIdentity::testPort() {
    for (int attempt = 0; attempt < kPortTestAttempts; ++attempt) {
        ctx_.reporter.ShowStatus(LineClass::Ordinary, fmt::format("Test Serial port ({}).", attempt));
        if (at_.SendATValue("AT\r\n", at_selector::kPlain, {}, {})) {
            ctx_.reporter.ShowStatus(LineClass::Ordinary, "Serial port ready");
            return;
        }
        if (ctx_.reporter.stopRequested()) return;
        ctx_.clock.sleepMs(kPortTestPauseMs);
    }
    // A port that never answered: the writes below are tried all the same.
}

bool DeviceIdentity::RestoreIdentity(const std::string& atBakPath) {
    const bool anyRead = std::find(read_.begin(), read_.end(), true) != read_.end();
    std::optional<platform::IniFile> ini;
    if (anyRead) {
        ini = platform::IniFile::Load(atBakPath);
        if (!ini) {
            ctx_.reporter.ShowError(fmt::format("Could not open backup file: {}", atBakPath), errno);
            return false;
        }
    }
    for (const IdentityField& field : IdentityFields()) {
        std::string& text = values_[Index(field.value)];
        text.clear();
        if (!read(field.value)) continue;
        const auto saved = ini->value("Data", field.dataKey);
        if (!saved) {
            // A value that was read but is not in the file cannot be restored: say so and
            // leave it out rather than write an empty value over the device's.
            ctx_.reporter.ShowError(fmt::format("at.bak holds no {} value: {}", field.dataKey, atBakPath), 0);
            read_[Index(field.value)] = false;
            continue;
        }
        text = field.quoted ? "\"" + *saved + "\"" : *saved;
    }
    if (!ctx_.serial.modemOpen()) {
        ctx_.reporter.ShowError("Serial handle is failed", 0);
        return false;
    }
    testPort();
    return writeValues();
}

bool DeviceIdentity::writeValues() {
    const auto write = [this](const RestoreStep& step) {
        if (!read(step.value)) return true;
        const IdentityField& field = FieldOf(step.value);
        const std::string& text = value(step.value);
        if (!step.emptyLine.empty() && text == kEmptyQuoted) {
            ctx_.reporter.ShowStatus(LineClass::Ordinary, step.emptyLine);
            return true;
        }
        if (ctx_.reporter.stopRequested()) return false;
        if (at_.SendATValue(field.writePrefix, field.selector, text, step.failureText)) {
            ctx_.reporter.ShowStatus(LineClass::Ordinary, step.successLine);
            return true;
        }
        if (!step.failureLine.empty()) ctx_.reporter.ShowStatus(LineClass::Ordinary, step.failureLine);
        if (!step.extraError.empty()) ctx_.reporter.ShowError(step.extraError, 0);
        return step.goOn;
    };
    for (const RestoreStep& step : kBeforeSimLock) {
        if (!write(step)) return false;
    }
    const auto& cfg = ctx_.config;
    if (!config::SkipsSimLockRestore(ctx_.projectType) && cfg.simLock && ctx_.ok()) {
        if (at_.SendATValue("AT+NWLSET=", at_selector::kSimLock, {}, "Fail to write SIMLOCK to phone")) {
            ctx_.reporter.ShowStatus(LineClass::Ordinary, "Write SIMLOCK successfully");
        }
    }
    for (const RestoreStep& step : kAfterSimLock) {
        if (!write(step)) return false;
    }
    return true;
}

}  // namespace flintcast::engine
