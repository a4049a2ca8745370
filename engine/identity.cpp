#include "engine/identity.h"

#include <algorithm>
#include <cerrno>

#include <fmt/format.h>

#include "config/project_traits.h"
#include "engine/at_channel.h"
#include "engine/identity_table.h"
#include "platform/ini_file.h"

namespace flintcast::engine {
namespace {

using V = IdentityValue;

constexpr std::string_view kAllZeroImei = "000000000000000";

bool ReadsImei(int32_t networkType, int32_t project) { return networkType != 2 && !config::IsCdmaOnly(project); }

bool ReadsMeid(int32_t networkType, int32_t project) { return networkType == 2 || config::HasEvdo(project); }

// The values only a few projects have.
bool HasProjectExtra(int32_t project, IdentityValue v) {
    if (v == V::Cllen || v == V::Zrreq) return config::ReadsCllenAndZrreq(project);
    return v == V::Gmi && config::ReadsGmi(project);
}

void EraseFirst(std::string& text, std::string_view part) {
    const size_t at = text.find(part);
    if (at != std::string::npos) text.erase(at, part.size());
}

std::string TrimControls(std::string_view text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
    return std::string(text.substr(first, last - first));
}

std::string Without(std::string_view text, std::string_view drop) {
    std::string out;
    for (char c : text) {
        if (drop.find(c) == std::string_view::npos) out.push_back(c);
    }
    return out;
}

}  // namespace

std::string StripReply(std::string_view text) { return Without(text, "\r\n\""); }

std::string StripLineBreaks(std::string_view text) { return Without(text, "\r\n"); }

std::string CleanTestInfo(std::string_view value, bool uitNewWays) {
    std::string text(value);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    text = StripLineBreaks(text);
    if (!uitNewWays) {
        for (std::string_view part : {",UIT89:PASS", ",UIT87:PASS", ",UIT89:FAIL", ",UIT87:FAIL", "UIT89:PASS",
                                      "UIT87:PASS", "UIT89:FAIL", "UIT87:FAIL"}) {
            EraseFirst(text, part);
        }
    }
    return text;
}

DeviceIdentity::DeviceIdentity(WorkerContext& ctx, AtChannel& at) : ctx_(ctx), at_(at) {}

bool DeviceIdentity::readValue(IdentityValue v, std::string_view okLine, std::string_view errorLine,
                               std::string& out) {
    out.clear();
    const bool ok = at_.SendAT(FieldOf(v).readCommand, out);
    if (!ok) out.clear();
    if (ok) answered_[Index(v)] = out;
    ctx_.reporter.ShowStatus(LineClass::Ordinary, ok ? okLine : errorLine);
    return ok;
}

void DeviceIdentity::readImei(IdentityValue v, std::string_view okLine, std::string_view errorLine) {
    std::string text;
    bool ok = false;
    for (int attempt = 0; attempt < kImeiAttempts && !ok; ++attempt) {
        ok = at_.SendAT(FieldOf(v).readCommand, text);
        if (!ok && ctx_.reporter.stopRequested()) break;
    }
    if (!ok) {
        ctx_.reporter.ShowStatus(LineClass::Ordinary, errorLine);
        set(v, {}, false);
        return;
    }
    ctx_.reporter.ShowStatus(LineClass::Ordinary, okLine);
    answered_[Index(v)] = text;
    const std::string stripped = StripReply(text);
    set(v, text, !stripped.empty() && stripped != kAllZeroImei);
}

void DeviceIdentity::readEsn() {
    const int32_t project = ctx_.projectType;
    std::string text;
    bool ok = false;
    if (config::ReadsEsnFirst(project)) ok = readValue(V::Esn, "Read ESN", "ESN ERROR", text);
    // With the ESN switch off the value is never restored, even after a good read.
    if (ctx_.config.esn) ok = readValue(V::Esn, "Read ESN", "ESN ERROR", text);
    set(V::Esn, text, ctx_.config.esn && ok && !text.empty());
}

void DeviceIdentity::readProjectExtras() {
    const int32_t project = ctx_.projectType;
    struct Extra {
        IdentityValue value;
        std::string_view okLine;
        std::string_view errorLine;
    };
    static constexpr Extra kExtras[] = {
        {V::Cllen, "Read CLLEN", "Not support command:CLLEN......"},
        {V::Zrreq, "Read ZRREQ", "Not support command:ZRREQ......"},
        {V::Gmi, "Read GMI", "Not support command:GMI......"},
    };
    for (const Extra& extra : kExtras) {
        if (!HasProjectExtra(project, extra.value)) continue;
        std::string text;
        const bool ok = readValue(extra.value, extra.okLine, extra.errorLine, text);
        set(extra.value, text, ok);
    }
}

bool DeviceIdentity::ReadIdentity() {
    values_ = {};
    read_ = {};
    answered_ = {};
    if (!ctx_.serial.modemOpen()) {
        ctx_.reporter.ShowError("Serial handle is failed", 0);
        return false;
    }
    const auto& cfg = ctx_.config;
    const int32_t project = ctx_.projectType;
    const auto stopped = [this] { return ctx_.reporter.stopRequested(); };
    std::string text;

    bool ok = readValue(V::SerialNumber, "Read SN", "SN ERROR", text);
    set(V::SerialNumber, text, ok);
    if (stopped()) return false;

    if (ReadsImei(cfg.networkType, project)) readImei(V::Imei, "Read IMEI", "IMEI ERROR");
    if (config::HasSecondImei(project)) readImei(V::Imei1, "Read IMEI_1", "IMEI_1 ERROR");
    if (stopped()) return false;

    readEsn();
    if (ReadsMeid(cfg.networkType, project)) {
        ok = readValue(V::Meid, "Read MEID", "MEID ERROR", text);
        set(V::Meid, text, ok && !StripReply(text).empty());
    }
    if (stopped()) return false;

    ok = readValue(V::Bluetooth, "Read BlueTooth Addr", "BlueTooth ERROR", text);
    set(V::Bluetooth, text, ok && !StripReply(text).empty());
    ok = readValue(V::WifiCal, "Read Wifi cal", "Wifi cal ERROR", text);
    set(V::WifiCal, text, ok);
    ok = readValue(V::SalesCount, "Read MAC", "MAC ERROR", text);
    set(V::SalesCount, text, ok);
    ok = readValue(V::SalesInfo, "Read sales info", "Null sales info", text);
    set(V::SalesInfo, text, ok);
    if (stopped()) return false;

    ok = readValue(V::TestInfo, "Read TESTINFO", "TESTINFO ERROR", text);
    set(V::TestInfo, ok ? CleanTestInfo(text, cfg.uitNewWays) : std::string(), ok);
    ok = readValue(V::Uit87, "Read UIT87", "UIT87 ERROR", text);
    set(V::Uit87, TrimControls(StripLineBreaks(text)), ok);
    ok = readValue(V::Uit89, "Read UIT89", "UIT89 ERROR", text);
    set(V::Uit89, TrimControls(StripLineBreaks(text)), ok);
    if (stopped()) return false;

    readProjectExtras();
    return !stopped();
}

void DeviceIdentity::WriteIdentityBackup(const std::string& atBakPath) {
    if (!ctx_.ok()) return;
    platform::IniFile ini;
    for (const IdentityField& field : IdentityFields()) {
        if (!field.backupKey.empty()) ini.writeString("BACKUP", field.backupKey, read(field.value) ? "1" : "0");
    }
    for (const IdentityField& field : IdentityFields()) {
        const bool extra = field.backupKey.empty();
        if (!read(field.value) || (extra && !HasProjectExtra(ctx_.projectType, field.value))) continue;
        // Line breaks would end the value early in the file; blanks and quotes stay.
        ini.writeString("Data", field.dataKey, StripLineBreaks(value(field.value)));
    }
    std::string error;
    if (!ini.save(atBakPath, &error)) {
        // Without at.bak the identity could not be restored after the update.
        ctx_.reporter.ShowError(fmt::format("Could not write backup file: {}", atBakPath), errno);
    }
}

bool DeviceIdentity::LoadReadFlags(const std::string& atBakPath) {
    const auto ini = platform::IniFile::Load(atBakPath);
    if (!ini) {
        ctx_.reporter.ShowError(fmt::format("Could not open backup file: {}", atBakPath), errno);
        return false;
    }
    for (const IdentityField& field : IdentityFields()) {
        const bool wasRead = field.backupKey.empty()
                                 ? HasProjectExtra(ctx_.projectType, field.value) && ini->hasKey("Data", field.dataKey)
                                 : ini->readString("BACKUP", field.backupKey, "0") == "1";
        read_[Index(field.value)] = wasRead;
        // The folder name comes from these, as it did when the backup was made.
        values_[Index(field.value)] = wasRead ? ini->readString("Data", field.dataKey, "") : std::string();
    }
    return true;
}

}  // namespace flintcast::engine
