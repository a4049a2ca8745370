#include "engine/at_channel.h"

#include <algorithm>
#include <array>
#include <fmt/format.h>

#include "config/project_traits.h"
#include "engine/at_reply.h"
#include "engine/device_directory.h"
#include "engine/diag_mode.h"

namespace flintcast::engine {
namespace {

constexpr std::string_view kDiskQuery = "AT+DISK=?\r\n";
constexpr std::string_view kOpenService = "AT+DISK=7,\"YS\"\r\n";
constexpr std::string_view kCloseService = "AT+DISK=7,\"NO\"\r\n";
constexpr std::string_view kStartDiskSwitch = "AT+DISK=8,\"D1\"\r\n\r\n";
constexpr std::string_view kDiagOnLine = "AT+DIAG=1\r\n\r\n";
constexpr std::string_view kResetLine = "AT%RESET\r\n\r\n";
constexpr std::string_view kCdromLine = "AT+CDROM=1\r\n\r\n";
constexpr std::string_view kZrvResetLine = "AT+ZRVRESET\r\n\r\n";
constexpr std::string_view kVersionCommand = "AT+CGMR\r\n\r\n";
constexpr std::string_view kSimUnlock = "AT+NWLSET=0\r\n";

// Texts of the two directions of the diagnostic-service handshake.
struct HandshakeTexts {
    std::string_view command;
    std::string_view readFailFirst;
    std::string_view writeFailSecond;
    std::string_view readFailSecond;
    std::string_view notSupported;
    std::string_view done;
    std::string_view refused;
    std::string_view rejected;
};

constexpr HandshakeTexts kOpenTexts{
    kOpenService,
    "ERROR0:Could not read from serial port",
    "ERROR1:Could not send command to serial port",
    "ERROR2:Could not read from serial port",
    "Not support to open diagnostic service",
    "Open diagnostic service successfully",
    "Can not open diagnostic service port",
    "Not support to open diagnostic service ...",
};

constexpr HandshakeTexts kCloseTexts{
    kCloseService,
    "ERROR3:Could not read from serial port",
    "ERROR4:Could not send command to serial port",
    "ERROR5:Could not read from serial port",
    "Not support to close diagnostic service",
    "Close diagnostic service successfully",
    "Can not close diagnostic service port",
    "Not support to close diagnostic service ...",
};

}  // namespace

AtChannel::AtChannel(WorkerContext& ctx, DeviceDirectory& directory, AtSettings settings)
    : ctx_(ctx), directory_(directory), settings_(std::move(settings)) {}

uint32_t AtChannel::seconds() const {
    return ctx_.clock.tickMs() / 1000;
}

bool AtChannel::expired(uint32_t startSeconds) const {
    return seconds() - startSeconds >= kExchangeSeconds;
}

bool AtChannel::writeModem(std::string_view text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const int64_t written = ctx_.serial.modem().write(bytes, text.size());
    return written == static_cast<int64_t>(text.size());
}

bool AtChannel::readModemInto(std::string& text, size_t max) {
    std::array<uint8_t, kSendAtBuffer> buffer{};
    const size_t want = std::min(max, buffer.size());
    const int64_t got = ctx_.serial.modem().read(buffer.data(), want);
    if (got < 0) {
        return false;
    }
    // A reply split across reads is judged as a whole: the exchange keeps what
    // came since the command was written (the newest `max` bytes of it).
    text += ReplyText(std::span<const uint8_t>(buffer.data(), static_cast<size_t>(got)));
    if (text.size() > max) {
        text.erase(0, text.size() - max);
    }
    return true;
}

bool AtChannel::SendAT(std::string_view command) {
    std::string ignored;
    return SendAT(command, ignored);
}

AtChannel::ReplyWait AtChannel::WaitForReply(uint32_t pauseMs, bool untilStopped, std::string& text,
                                             std::string& value) {
    const uint32_t start = seconds();
    while (!expired(start) && (!untilStopped || ctx_.ok())) {
        ctx_.clock.sleepMs(pauseMs);
        if (!readModemInto(text, kSendAtBuffer)) return ReplyWait::ReadFailed;
        switch (ClassifyAtReply(text)) {
        case AtVerdict::Positive:
            value = AtReplyValue(text);
            return ReplyWait::Positive;
        case AtVerdict::Negative:
            return ReplyWait::Negative;
        case AtVerdict::None:
            break;
        }
    }
    return ReplyWait::TimedOut;
}

bool AtChannel::SendAT(std::string_view command, std::string& value) {
    if (!writeModem(command)) {
        ctx_.reporter.ShowError("Could not send command to serial port");
    }
    std::string text;
    switch (WaitForReply(settings_.fastSpeed ? 100 : 800, false, text, value)) {
    case ReplyWait::Positive:
        ctx_.reporter.ShowStatus(LineClass::Ordinary, "Read......");
        return true;
    case ReplyWait::ReadFailed:
        ctx_.reporter.ShowError("Could not read from serial port");
        return false;
    case ReplyWait::Negative:
    case ReplyWait::TimedOut:
        break;
    }
    return false;
}

bool AtChannel::QueryAT(std::string_view command, std::string& value) {
    // An answer that came too late for an earlier query is still waiting on the port: it is
    // dropped, so it cannot be taken for this query's answer (and shift every later one).
    for (std::string stale;;) {
        const size_t before = stale.size();
        if (!readModemInto(stale, kSendAtBuffer)) return false;
        if (stale.size() == before || stale.size() >= kSendAtBuffer) break;
    }
    // A unit slow to answer is asked once more; a late answer to the first ask is the answer
    // to the same command, so it is as good as the second one's.
    std::string text;
    for (int ask = 0; ask < kQueryAsks && ctx_.ok(); ++ask) {
        if (!writeModem(command)) return false;
        const ReplyWait got = WaitForReply(kQueryPollMs, true, text, value);
        if (got != ReplyWait::TimedOut) return got == ReplyWait::Positive;
    }
    return false;
}

bool AtChannel::SendATValue(std::string_view prefix, int selector, std::string_view value,
                            std::string_view failureText) {
    std::string command;
    if (selector == at_selector::kPlain) {
        command = prefix;
    } else if (selector == at_selector::kSimLock) {
        command = settings_.simLockMode == 1
                      ? fmt::format("{}{}\r\n", prefix, settings_.simLockString)
                      : std::string(kSimUnlock);
    } else {
        command = fmt::format("{}{}\r\n", prefix, value);
    }
    if (!writeModem(command)) {
        ctx_.reporter.ShowError("->Could not send command to serial port");
        return false;
    }
    const bool quiet = selector == at_selector::kQuiet || selector == at_selector::kPlain;
    const uint32_t start = seconds();
    const uint32_t pauseMs = settings_.fastSpeed ? 300 : 800;
    std::string text;
    while (!expired(start)) {
        ctx_.clock.sleepMs(pauseMs);
        if (!readModemInto(text, kValueBuffer)) {
            return false;
        }
        const AtVerdict verdict = ClassifyAtReply(text);
        if (verdict == AtVerdict::Positive) {
            return true;
        }
        if (verdict == AtVerdict::Negative) {
            switch (selector) {
            case at_selector::kCllen:
                ctx_.reporter.ShowStatus(LineClass::Ordinary, "Could not support command:CLLEN");
                return true;
            case at_selector::kZrreq:
                ctx_.reporter.ShowStatus(LineClass::Ordinary, "Could not support command:ZRREQ");
                return true;
            case at_selector::kGmi:
                ctx_.reporter.ShowStatus(LineClass::Ordinary, "Could not support command:GMI");
                return true;
            default:
                if (!quiet) {
                    ctx_.reporter.ShowError(failureText);
                }
                return false;
            }
        }
    }
    if (!quiet) {
        ctx_.reporter.ShowError(failureText);
    }
    return false;
}

bool AtChannel::OpenDiagService() {
    if (ctx_.serial.modemPortName.empty()) {
        ctx_.reporter.ShowStatus(LineClass::Ordinary, "Diagnostic service in download mode was opened");
        return true;
    }
    if (!ctx_.serial.OpenModemHandle()) {
        return false;
    }
    if (!ctx_.serial.ConfigureModemHandle(false)) {
        ctx_.reporter.ShowError(">Fail to config serial port");
        return false;
    }
    return diagServiceHandshake(Handshake::Open);
}

bool AtChannel::CloseDiagService() {
    return diagServiceHandshake(Handshake::Close);
}

bool AtChannel::diagServiceHandshake(Handshake kind) {
    const HandshakeTexts& t = kind == Handshake::Open ? kOpenTexts : kCloseTexts;
    if (!writeModem(kDiskQuery)) {
        ctx_.reporter.ShowError(">>Could not send command to serial port");
        return false;
    }
    const uint32_t start = seconds();
    const uint32_t pauseMs = settings_.fastSpeed ? 300 : 500;
    const uint32_t secondPauseMs = settings_.fastSpeed ? 200 : 300;
    std::string first;
    while (!expired(start)) {
        ctx_.clock.sleepMs(pauseMs);
        if (!readModemInto(first, kValueBuffer)) {
            ctx_.reporter.ShowError(t.readFailFirst);
            return false;
        }
        const AtVerdict verdict = ClassifyAtReply(first);
        if (verdict == AtVerdict::Positive) {
            if (first.find("7_") == std::string::npos) {
                ctx_.reporter.ShowStatus(LineClass::Ordinary, t.notSupported);
                return true;
            }
            if (!writeModem(t.command)) {
                ctx_.reporter.ShowError(t.writeFailSecond);
            }
            ctx_.clock.sleepMs(secondPauseMs);
            std::string second;
            if (!readModemInto(second, kValueBuffer)) {
                ctx_.reporter.ShowError(t.readFailSecond);
                return false;
            }
            const AtVerdict answer = ClassifyAtReply(second);
            if (answer == AtVerdict::Positive) {
                ctx_.reporter.ShowStatus(LineClass::Ordinary, t.done);
                return true;
            }
            if (answer == AtVerdict::Negative) {
                ctx_.reporter.ShowStatus(LineClass::Ordinary, t.refused);
                return true;
            }
            // No answer yet: the loop goes on with what comes next.
            first = std::move(second);
            continue;
        }
        if (verdict == AtVerdict::Negative) {
            ctx_.reporter.ShowStatus(LineClass::Ordinary, t.rejected);
            return true;
        }
    }
    if (kind == Handshake::Close) {
        ctx_.reporter.ShowError("Fail to read disk info3");
        return false;
    }
    return true;
}

void AtChannel::RunStartATList(const std::vector<std::string>& lines) {
    runList(lines, false);
}

void AtChannel::RunEndATList(const std::vector<std::string>& lines) {
    runList(lines, true);
}

void AtChannel::runList(const std::vector<std::string>& lines, bool endList) {
    for (size_t i = 0; i < lines.size() && ctx_.ok(); ++i) {
        const std::string& line = lines[i];
        const size_t position = i + 1;
        if (!endList && directory_.ModeSwitchSent() && line == kStartDiskSwitch) {
            continue;
        }
        if (IsPauseLine(line)) {
            if (const auto ms = PauseMilliseconds(line)) {
                ctx_.clock.sleepMs(*ms);
            }
            continue;
        }
        if (endList && line == kResetLine) {
            SetDiagOffline(ctx_);
            SetDiagReset(ctx_);
            continue;
        }
        if (SendAT(line)) {
            continue;
        }
        if (!endList) {
            if (line == kDiagOnLine) {
                continue;
            }
            ctx_.reporter.ShowError(fmt::format("Fail to send command(start) :{}", position));
            return;
        }
        if (line == kCdromLine || line == kZrvResetLine) {
            continue;
        }
        ctx_.reporter.ShowError(fmt::format("Fail to send command(end) :{}[{}]", position, line));
        return;
    }
}

void AtChannel::SwitchUsbPersonality(bool disk, bool cdrom) {
    const int32_t project = ctx_.projectType;
    if (UsesCdma2000DiskSwitch(project)) {
        if (!SendAT(kCdma2000DiskCommand)) {
            ctx_.reporter.ShowError(kCdma2000DiskFailure);
        }
        return;
    }
    PersonalityTable table;
    if (disk && ctx_.ok()) {
        table = PersonalityTable::Disk;
    } else if (cdrom && ctx_.ok()) {
        table = PersonalityTable::CdRom;
    } else {
        return;
    }
    if (config::SetsMakerName(project, settings_.versionMarker)) {
        if (!SendAT(kMakerNameCommand)) {
            ctx_.reporter.ShowError(kMakerNameFailure);
        }
    }
    for (const PersonalityCommand& step : PersonalityCommands(table, project)) {
        if (!SendAT(step.command)) {
            ctx_.reporter.ShowError(step.failureText);
        }
    }
    if (ClosesDiagServiceAfterPersonality(project, settings_.phoneProject)) {
        CloseDiagService();
    }
}

void AtChannel::ShowDeviceVersion() {
    const auto version = directory_.AtQuery(ctx_.serial.modem(), kVersionCommand);
    directory_.ShowDeviceVersion(fmt::format("Version:{}", version.value_or("")));
}

}  // namespace flintcast::engine
