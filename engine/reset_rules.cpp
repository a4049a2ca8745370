#include "engine/reset_rules.h"

namespace flintcast::engine {
namespace {

bool InRange(int32_t p, int32_t lo, int32_t hi) {
    return p >= lo && p <= hi;
}

}  // namespace

ResetCommand ResetCommandFor(int32_t p, bool phoneProject) {
    if (phoneProject) {
        return ResetCommand::Reset;
    }
    const bool powerOff = InRange(p, 0, 2) || InRange(p, 4, 11) || p == 14 || p == 19 || p == 20 ||
                          p == 42;
    return powerOff ? ResetCommand::PowerOff : ResetCommand::Reset;
}

bool UsesShortReopenWait(int32_t p, PortKind port) {
    const bool shortDiag = p == 3 || p == 6 || p == 12 || p == 13 || InRange(p, 16, 34) ||
                           InRange(p, 36, 41) || p == 48;
    if (port == PortKind::Modem && (p == 22 || p == 40)) {
        return false;
    }
    return shortDiag;
}

bool KeepsPortsInDownloadSwitch(int32_t p) {
    return p == 5 || p == 6 || p == 11 || p == 42;
}

bool UsesResetAfterDownload(int32_t p, bool amssOnly) {
    return p == 6 || p == 19 || (p == 20 && !amssOnly);
}

DeviceWait DeviceWaitFor(ResetStage stage) {
    switch (stage) {
    case ResetStage::First:
        return {60, 60, 2000};
    case ResetStage::Second:
        return {30, 30, 2000};
    case ResetStage::AfterDownload:
        return {10, 60, 1000};
    }
    return {0, 0, 0};
}

ReopenLoop ReopenLoopFor(ResetStage stage, PortKind port, int32_t p) {
    if (stage == ResetStage::Second) {
        uint32_t waitMs = 6000;
        if (UsesShortReopenWait(p, port)) {
            waitMs = 3000;
        } else if (p == 7) {
            waitMs = port == PortKind::Diag ? 15000 : 10000;
        }
        if (port == PortKind::Diag) {
            return {20, waitMs, " Initial......ok", " Initial Diagnostic1......wait", "ComPort1 timeout"};
        }
        return {20, waitMs, " Initial Modem1......ok", " Initial Modem1......wait", "SerialPort1 timeout"};
    }
    if (port == PortKind::Diag) {
        return {21, 6000, " Initial Diagnostic0......ok", " Initial Diagnostic0......wait",
                "ComPort0 timeout"};
    }
    return {20, 6000, " Initial Modem0......ok", " Initial Modem0......wait", "SerialPort0 timeout"};
}

PortLineTexts PortLinesFor(ResetStage stage) {
    switch (stage) {
    case ResetStage::First:
        return {"Diagnostic commport0......empty", " Diagnostic ready", "Modem commport0......empty",
                " Modem ready"};
    case ResetStage::Second:
        return {"ComPort1......empty", " Diagnostic ready", "SerialPort1......empty", " Modem ready"};
    case ResetStage::AfterDownload:
        return {"Diagnostic......empty", " ready", "Modem......empty", " ready"};
    }
    return {};
}

}  // namespace flintcast::engine
