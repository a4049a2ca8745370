#include "sim/faults.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <utility>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "sim/text_util.h"

namespace flintcast::sim {
namespace {

constexpr std::array<std::pair<FaultKind, std::string_view>, 20> kKindNames{{
    {FaultKind::DropReply, "drop-reply"},
    {FaultKind::CorruptCrc, "corrupt-crc"},
    {FaultKind::DelayReply, "delay-reply"},
    {FaultKind::SplitReply, "split-reply"},
    {FaultKind::Throttle, "throttle"},
    {FaultKind::AtError, "at-error"},
    {FaultKind::AtSilence, "at-silence"},
    {FaultKind::Refuse, "refuse"},
    {FaultKind::Ignore, "ignore"},
    {FaultKind::NvStatus, "nv-status"},
    {FaultKind::UnplugAt, "unplug-at"},
    {FaultKind::NoReturn, "no-return"},
    {FaultKind::ShiftPorts, "shift-ports"},
    {FaultKind::TruncateReply, "truncate-reply"},
    {FaultKind::OversizeReply, "oversize-reply"},
    {FaultKind::DisconnectAt, "disconnect-at"},
    {FaultKind::AtGarble, "at-garble"},
    {FaultKind::AtLate, "at-late"},
    {FaultKind::AtUnplug, "at-unplug"},
    {FaultKind::UnplugOn, "unplug-on"},
}};

bool IsAtKind(FaultKind k) {
    return k == FaultKind::AtError || k == FaultKind::AtSilence || k == FaultKind::AtGarble || k == FaultKind::AtLate ||
           k == FaultKind::AtUnplug;
}

// Link faults that may name one kind of request ("diag.nv_write") instead of a port.
bool MayNameRequest(FaultKind k) {
    return k == FaultKind::DropReply || k == FaultKind::CorruptCrc || k == FaultKind::DelayReply;
}

bool IsRequestName(std::string_view s) { return s.find('.') != std::string_view::npos; }

bool HasNumericTarget(FaultKind k) { return k == FaultKind::NvStatus; }

bool IsRequestKind(FaultKind k) {
    return k == FaultKind::Refuse || k == FaultKind::Ignore || k == FaultKind::UnplugOn;
}

bool NeedsValue(FaultKind k) {
    return k == FaultKind::DelayReply || k == FaultKind::Throttle || k == FaultKind::NvStatus ||
           k == FaultKind::DisconnectAt || k == FaultKind::AtLate;
}

bool IsPortKind(FaultKind k) {
    return k == FaultKind::DropReply || k == FaultKind::CorruptCrc || k == FaultKind::DelayReply ||
           k == FaultKind::SplitReply || k == FaultKind::Throttle || k == FaultKind::TruncateReply ||
           k == FaultKind::OversizeReply || k == FaultKind::DisconnectAt;
}

bool IsPortRole(std::string_view s) {
    return s == "diag" || s == "modem" || s == "terminal" || s == "download" || s == "programmer" ||
           s == "fastboot" || s == "adb";
}

// "5.12" -> "5.12" with both parts canonical decimals.
std::optional<std::string> CanonicalImageBlock(std::string_view text) {
    const auto dot = text.find('.');
    if (dot == std::string_view::npos) return std::nullopt;
    const auto image = ParseNumber(text.substr(0, dot));
    const auto block = ParseNumber(text.substr(dot + 1));
    if (!image || !block || *image < 1 || *block < 1) return std::nullopt;
    return fmt::format("{}.{}", *image, *block);
}

std::optional<FaultRule> ParseRule(std::string_view text, std::string& error) {
    FaultRule rule;
    // Occurrence part: "@N" or "@*".
    if (const auto at = text.rfind('@'); at != std::string_view::npos) {
        const auto count = Trim(text.substr(at + 1));
        text = Trim(text.substr(0, at));
        if (count == "*") {
            rule.every = true;
        } else {
            const auto n = ParseNumber(count);
            if (!n || *n < 1 || *n > 0xFFFFFFFFLL) {
                error = fmt::format("bad occurrence \"{}\" (want @N with N >= 1, or @*)", count);
                return std::nullopt;
            }
            rule.nth = static_cast<uint32_t>(*n);
        }
    }
    const auto colon = text.find(':');
    const auto kindText = Trim(text.substr(0, std::min(colon, text.find('='))));
    const auto kind = ParseFaultKind(ToLower(kindText));
    if (!kind) {
        error = fmt::format("unknown fault \"{}\"", kindText);
        return std::nullopt;
    }
    rule.kind = *kind;
    std::string_view rest = text.substr(kindText.size());
    rest = Trim(rest);
    std::string_view target;
    std::string_view value;
    if (!rest.empty() && rest.front() == ':') {
        rest.remove_prefix(1);
        if (IsAtKind(rule.kind) && rule.kind != FaultKind::AtLate) {
            target = Trim(rest);  // an AT command may itself hold '='
        } else if (rule.kind == FaultKind::AtLate) {
            // The value follows the last '=', as the command may hold one itself.
            const auto eq = rest.rfind('=');
            target = Trim(rest.substr(0, eq));
            if (eq != std::string_view::npos) value = Trim(rest.substr(eq + 1));
        } else {
            const auto eq = rest.find('=');
            target = Trim(rest.substr(0, eq));
            if (eq != std::string_view::npos) value = Trim(rest.substr(eq + 1));
        }
    } else if (!rest.empty() && rest.front() == '=') {
        value = Trim(rest.substr(1));
    } else if (!rest.empty()) {
        error = fmt::format("unexpected \"{}\" after {}", rest, kindText);
        return std::nullopt;
    }
    if (IsAtKind(rule.kind)) {
        if (target.empty()) {
            error = fmt::format("{} needs an AT command", kindText);
            return std::nullopt;
        }
        rule.target = ToUpper(target);
    } else if (IsRequestKind(rule.kind)) {
        if (target.empty()) {
            error = fmt::format("{} needs a request name such as dmss.go", kindText);
            return std::nullopt;
        }
        rule.target = ToLower(target);
    } else if (HasNumericTarget(rule.kind)) {
        const auto n = ParseNumber(target);
        if (!n || *n < 0) {
            error = fmt::format("{} needs a numeric target, got \"{}\"", kindText, target);
            return std::nullopt;
        }
        rule.target = std::to_string(*n);
    } else if (rule.kind == FaultKind::UnplugAt) {
        const auto canonical = CanonicalImageBlock(target);
        if (!canonical) {
            error = fmt::format("unplug-at needs IMAGE.BLOCK (both from 1), got \"{}\"", target);
            return std::nullopt;
        }
        rule.target = *canonical;
    } else if (IsPortKind(rule.kind)) {
        rule.target = ToLower(target);
        if (!rule.target.empty() && !IsPortRole(rule.target) && !(MayNameRequest(rule.kind) && IsRequestName(rule.target))) {
            error = fmt::format("unknown port \"{}\"", target);
            return std::nullopt;
        }
    } else if (rule.kind == FaultKind::NoReturn || rule.kind == FaultKind::ShiftPorts) {
        // Optionally the personality the unit is on its way to ("download", "normal", ...).
        rule.target = ToLower(target);
        if (!rule.target.empty() && rule.target != "normal" && rule.target != "download" &&
            rule.target != "programmer" && rule.target != "fastboot" && rule.target != "storage") {
            error = fmt::format("unknown personality \"{}\"", target);
            return std::nullopt;
        }
    } else if (!target.empty()) {
        error = fmt::format("{} takes no target", kindText);
        return std::nullopt;
    }
    if (!value.empty()) {
        const auto v = ParseNumber(value);
        if (!v || *v < 0) {
            error = fmt::format("bad value \"{}\" for {}", value, kindText);
            return std::nullopt;
        }
        rule.value = *v;
        rule.hasValue = true;
    } else if (NeedsValue(rule.kind)) {
        error = fmt::format("{} needs =VALUE", kindText);
        return std::nullopt;
    }
    if (rule.kind == FaultKind::DisconnectAt && rule.target != "fastboot" && rule.target != "adb") {
        error = "disconnect-at needs the link: fastboot or adb";
        return std::nullopt;
    }
    if (rule.kind == FaultKind::Throttle) {
        if (rule.value < 1) {
            error = "throttle needs a rate of at least 1 byte per second";
            return std::nullopt;
        }
        rule.every = true;  // a link speed is a standing condition
    }
    return rule;
}

bool Matches(const FaultRule& rule, FaultKind kind, std::string_view target) {
    if (rule.kind != kind) return false;
    if (rule.target.empty()) return true;
    if (IsAtKind(kind)) return StartsWith(ToUpper(target), rule.target);
    return rule.target == target;
}

}  // namespace

std::string_view FaultKindName(FaultKind kind) {
    for (const auto& [k, name] : kKindNames)
        if (k == kind) return name;
    return "unknown";
}

std::optional<FaultKind> ParseFaultKind(std::string_view name) {
    for (const auto& [k, n] : kKindNames)
        if (n == name) return k;
    return std::nullopt;
}

std::optional<std::vector<FaultRule>> ParseFaultSpec(std::string_view spec, std::string& error) {
    std::vector<FaultRule> rules;
    size_t start = 0;
    while (start <= spec.size()) {
        auto end = spec.find(';', start);
        if (end == std::string_view::npos) end = spec.size();
        const auto part = Trim(spec.substr(start, end - start));
        if (!part.empty()) {
            auto rule = ParseRule(part, error);
            if (!rule) {
                error = fmt::format("fault \"{}\": {}", part, error);
                return std::nullopt;
            }
            rules.push_back(std::move(*rule));
        }
        start = end + 1;
    }
    return rules;
}

std::string Faults::add(std::string_view spec) {
    std::string error;
    auto rules = ParseFaultSpec(spec, error);
    if (!rules) return error;
    std::lock_guard lock(mutex_);
    for (auto& r : *rules) rules_.push_back(std::move(r));
    return {};
}

void Faults::clear() {
    std::lock_guard lock(mutex_);
    rules_.clear();
}

std::optional<int64_t> Faults::fireWhere(const std::function<bool(const FaultRule&)>& applies) {
    std::lock_guard lock(mutex_);
    std::optional<int64_t> result;
    // Every matching rule counts the occurrence, so two rules on the same event keep their own
    // counts; the first one that fires decides.
    for (auto& rule : rules_) {
        if (!applies(rule)) continue;
        ++rule.seen;
        const bool fires = rule.every || rule.seen == rule.nth;
        if (fires && !result) {
            ++rule.fired;
            result = rule.value;
        }
    }
    return result;
}

std::optional<int64_t> Faults::fire(FaultKind kind, std::string_view target) {
    return fireWhere([&](const FaultRule& rule) { return Matches(rule, kind, target); });
}

std::optional<int64_t> Faults::fire(FaultKind kind, uint32_t number) {
    return fire(kind, std::to_string(number));
}

std::optional<int64_t> Faults::fireNamed(FaultKind kind, std::string_view request) {
    return fireWhere(
        [&](const FaultRule& rule) { return rule.kind == kind && !rule.target.empty() && rule.target == request; });
}

std::optional<int64_t> Faults::setting(FaultKind kind, std::string_view target) const {
    std::lock_guard lock(mutex_);
    for (const auto& rule : rules_)
        if (Matches(rule, kind, target)) return rule.value;
    return std::nullopt;
}

nlohmann::json Faults::toJson() const {
    std::lock_guard lock(mutex_);
    auto list = nlohmann::json::array();
    for (const auto& r : rules_) {
        nlohmann::json j{{"kind", FaultKindName(r.kind)}, {"target", r.target}, {"seen", r.seen},
                         {"fired", r.fired}};
        if (r.hasValue) j["value"] = r.value;
        if (r.every)
            j["every"] = true;
        else
            j["nth"] = r.nth;
        list.push_back(std::move(j));
    }
    return list;
}

}  // namespace flintcast::sim
