#include "engine/reset_rules.h"

#include "config/project_traits.h"

namespace flintcast::engine {

ResetCommand ResetCommandFor(int32_t p, bool phoneProject) {
    return config::PowersOffAtEnd(p, phoneProject) ? ResetCommand::PowerOff : ResetCommand::Reset;
}

bool UsesShortReopenWait(int32_t p, PortKind port) {
    if (port == PortKind::Modem && config::HasSlowModemPort(p)) {
        return false;
    }
    return config::UsesShortReopenWait(p);
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
        } else if (config::UsesLongReopenWait(p)) {
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
