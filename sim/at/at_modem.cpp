#include "sim/at/at_modem.h"

#include <array>
#include <utility>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "sim/text_util.h"

namespace flintcast::sim {
namespace {

constexpr size_t kMaxValueBytes = 512;

// Identity values set and read by a command of their own ("AT+WIFICAL?" / "AT+WIFICAL=v").
struct ValueCommand {
    std::string_view name;  // upper case, without "AT"
    std::string_view key;   // identity key
    std::string_view readSuffix;  // what follows the name in the read form
};
constexpr std::array<ValueCommand, 8> kValueCommands{{
    {"+WIFICAL", "wifi_cal", "?"},
    {"+TESTINF2", "testinf", "=?"},
    {"+CUIT87", "uit87", "?"},
    {"+CUIT89", "uit89", "?"},
    {"+CLLEN", "cllen", "?"},
    {"+ZRREQ", "zrreq", "?"},
    {"+GMI", "gmi", ""},
    {"+NWLSET", "simlock", "?"},
}};

// Items of the AT+ZRVSN family.
std::string_view ZrvsnKey(int64_t item) {
    switch (item) {
        case 5: return "sn";
        case 6: return "imei_1";
        case 7: return "imei";
        case 8: return "esn";
        case 9: return "meid";
        case 10: return "bluetooth";
        case 11: return "sales_count";
        case 12: return "sales_info";
        default: return {};
    }
}

// A value as written: one pair of enclosing quotes is removed.
std::optional<std::string> Unquote(std::string_view v) {
    v = Trim(v);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    if (v.size() > kMaxValueBytes) return std::nullopt;
    return std::string(v);
}

}  // namespace

AtModem::AtModem(const Profile& profile, ModemState& state, Faults* faults)
    : profile_(profile), state_(state), faults_(faults) {}

AtOutput AtModem::Feed(std::string_view bytes) {
    AtOutput out;
    for (char c : bytes) {
        if (state_.echo) out.bytes.push_back(c);
        if (c == '\r') {
            if (overflow_) {
                out.bytes += "\r\nERROR\r\n";
            } else {
                RunLine(line_, out);
            }
            line_.clear();
            overflow_ = false;
        } else if (c == '\n' && line_.empty()) {
            // the LF of a CR LF terminator
        } else if (line_.size() >= kMaxLineBytes) {
            overflow_ = true;
        } else {
            line_.push_back(c);
        }
    }
    return out;
}

void AtModem::RunLine(std::string_view raw, AtOutput& out) {
    const auto line = Trim(raw);
    // A modem only listens to lines that begin with the attention prefix.
    if (line.size() < 2 || ToUpper(line.substr(0, 2)) != "AT") return;
    if (faults_ != nullptr) {
        if (faults_->fire(FaultKind::AtSilence, line)) return;
        if (faults_->fire(FaultKind::AtUnplug, line)) {
            out.unplugged = true;
            return;
        }
        if (faults_->fire(FaultKind::AtError, line)) {
            out.bytes += "\r\nERROR\r\n";
            return;
        }
    }
    const bool garble = faults_ != nullptr && faults_->fire(FaultKind::AtGarble, line).has_value();
    if (faults_ != nullptr) {
        if (const auto late = faults_->fire(FaultKind::AtLate, line)) out.delayMs += static_cast<uint32_t>(*late);
    }
    std::string info;
    const bool ok = Execute(line.substr(2), info, out);
    std::string answer;
    if (!ok) {
        answer = "\r\nERROR\r\n";
    } else {
        if (!info.empty()) answer += fmt::format("\r\n{}\r\n", info);
        answer += "\r\nOK\r\n";
    }
    // Line noise: every character of the answer is spoiled, the line breaks stay.
    if (garble) {
        for (char& c : answer)
            if (c != '\r' && c != '\n') c = static_cast<char>(0x80 | ((c * 7 + 3) & 0x7F));
    }
    out.bytes += answer;
}

bool AtModem::Execute(std::string_view command, std::string& info, AtOutput& out) {
    const std::string upper = ToUpper(command);
    auto& id = state_.identity;
    if (upper.empty()) return true;
    if (upper == "E0" || upper == "E1") {
        state_.echo = upper == "E1";
        out.stateChanged = true;
        return true;
    }
    if (upper == "I") {
        info = fmt::format("Manufacturer: {}\r\nModel: {}\r\nRevision: Ver.{}\r\nIMEI: {}\r\n+GCAP: +CGSM,+DS,+ES",
                           profile_.manufacturer, profile_.model, VersionForAti(), id["imei"]);
        return true;
    }
    if (upper == "+ZRVSW") {
        info = "+ZRVSW:" + VersionForCgmr();
        return true;
    }
    if (upper == "+CGMR") {
        info = "+CGMR:" + VersionForCgmr();
        return true;
    }
    if (upper == "+FLASHINFO") {
        info = profile_.flashInfo;
        return true;
    }
    if (upper == "+PMU") {
        info = "+PMU: " + profile_.pmu;
        return true;
    }
    if (upper == "+CGSN") {
        info = id["imei"];
        return true;
    }
    if (StartsWith(upper, "+DISK=")) return Disk(command.substr(6), info, out);
    if (StartsWith(upper, "+ZRVSN=")) return IdentityItem(command.substr(7), info, out);
    if (upper == "+CFUN?") {
        info = fmt::format("+CFUN: {}", state_.radio);
        return true;
    }
    if (StartsWith(upper, "+CFUN=")) {
        const auto mode = ParseNumber(upper.substr(6, upper.find(',') == std::string::npos ? std::string::npos : upper.find(',') - 6));
        if (!mode || (*mode != 0 && *mode != 1 && *mode != 4 && *mode != 5)) return false;
        state_.radio = static_cast<int>(*mode);
        out.stateChanged = true;
        return true;
    }
    if (StartsWith(upper, "+DIAG=")) {
        const auto v = ParseNumber(upper.substr(6));
        if (!v || (*v != 0 && *v != 1)) return false;
        state_.diagEnabled = *v == 1;
        out.stateChanged = true;
        return true;
    }
    if (StartsWith(upper, "+SFIRSTTIME=")) {
        if (!ParseNumber(upper.substr(12))) return false;
        state_.firstTime = std::string(Trim(upper.substr(12)));
        out.stateChanged = true;
        return true;
    }
    if (StartsWith(upper, "+CDROM=")) {
        if (!ParseNumber(upper.substr(7))) return false;
        state_.cdrom = std::string(Trim(upper.substr(7)));
        out.stateChanged = true;
        return true;
    }
    if (StartsWith(upper, "+CFGDATA=")) {
        const auto v = Unquote(command.substr(9));
        if (!v || v->empty()) return false;
        state_.cfgData = *v;
        out.stateChanged = true;
        return true;
    }
    if (upper == "+CGDCONT?") {
        for (size_t i = 0; i < state_.pdpContexts.size(); ++i)
            info += fmt::format("{}+CGDCONT: {}", i == 0 ? "" : "\r\n", state_.pdpContexts[i]);
        return true;
    }
    if (StartsWith(upper, "+CGDCONT=")) {
        const auto args = Trim(command.substr(9));
        const auto cid = ParseNumber(args.substr(0, args.find(',')));
        if (!cid || *cid < 1 || *cid > 24 || args.size() > kMaxValueBytes) return false;
        if (state_.pdpContexts.size() < 32) state_.pdpContexts.emplace_back(args);
        out.stateChanged = true;
        return true;
    }
    if (upper == "+ZRVRESET") {
        out.resetRequested = true;
        return true;
    }
    for (const auto& vc : kValueCommands) {
        if (!StartsWith(upper, vc.name)) continue;
        const std::string_view rest = std::string_view(upper).substr(vc.name.size());
        if (rest == vc.readSuffix || (vc.readSuffix.empty() && rest == "?")) {
            info = fmt::format("{}:{}", vc.name, id[std::string(vc.key)]);
            return true;
        }
        if (!rest.empty() && rest.front() == '=' && rest != "=?") {
            const auto value = Unquote(command.substr(vc.name.size() + 1));
            if (!value) return false;
            id[std::string(vc.key)] = *value;
            out.stateChanged = true;
            return true;
        }
        return false;
    }
    return false;
}

bool AtModem::Disk(std::string_view args, std::string& info, AtOutput& out) {
    const auto a = ToUpper(Trim(args));
    if (a == "?") {
        info = profile_.diskMode7 ? "+DISK:0_CD,0_HD,1_RO,7_YS,7_NO,8_D1,8_D2,8_D3"
                                  : "+DISK:0_CD,0_HD,1_RO,8_D1,8_D2,8_D3";
        return true;
    }
    const auto comma = a.find(',');
    if (comma == std::string::npos) return false;
    const auto mode = ParseNumber(std::string_view(a).substr(0, comma));
    const auto value = Unquote(std::string_view(a).substr(comma + 1));
    if (!mode || !value) return false;
    switch (*mode) {
        case 0:
            if (*value != "CD" && *value != "HD") return false;
            state_.disk0 = *value;
            break;
        case 1:
            if (*value != "RO" && *value != "RW") return false;
            state_.disk1 = *value;
            break;
        case 7:
            if (!profile_.diskMode7 || (*value != "YS" && *value != "NO")) return false;
            state_.diagServiceOpen = *value == "YS";
            break;
        case 8:
            if (*value != "D1" && *value != "D2" && *value != "D3") return false;
            state_.usbMode = *value;
            break;
        default:
            return false;
    }
    out.stateChanged = true;
    return true;
}

bool AtModem::IdentityItem(std::string_view args, std::string& info, AtOutput& out) {
    // "0,n" reads item n; "1,n,value" writes it.
    const auto first = args.find(',');
    if (first == std::string_view::npos) return false;
    const auto op = ParseNumber(args.substr(0, first));
    const auto rest = args.substr(first + 1);
    const auto second = rest.find(',');
    const auto item = ParseNumber(rest.substr(0, second));
    if (!op || !item) return false;
    const auto key = ZrvsnKey(*item);
    if (key.empty()) return false;
    auto& id = state_.identity;
    if (*op == 0 && second == std::string_view::npos) {
        info = "+ZRVSN:" + id[std::string(key)];
        return true;
    }
    if (*op == 1 && second != std::string_view::npos) {
        const auto value = Unquote(rest.substr(second + 1));
        if (!value) return false;
        id[std::string(key)] = *value;
        out.stateChanged = true;
        return true;
    }
    return false;
}

std::string AtModem::VersionForCgmr() const {
    return state_.softwareVersion.empty() ? profile_.cgmrVersion : state_.softwareVersion;
}

std::string AtModem::VersionForAti() const {
    return state_.softwareVersion.empty() ? profile_.atiVersion : state_.softwareVersion;
}

nlohmann::json ModemState::toJson() const {
    nlohmann::json j;
    j["identity"] = identity;
    j["echo"] = echo;
    j["diag_service_open"] = diagServiceOpen;
    j["diag_enabled"] = diagEnabled;
    j["usb_mode"] = usbMode;
    j["disk0"] = disk0;
    j["disk1"] = disk1;
    j["radio"] = radio;
    j["first_time"] = firstTime;
    j["cdrom"] = cdrom;
    j["cfgdata"] = cfgData;
    j["pdp_contexts"] = pdpContexts;
    j["software_version"] = softwareVersion;
    return j;
}

}  // namespace flintcast::sim
