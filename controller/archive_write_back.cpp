#include "controller/archive_write_back.h"

#include "engine/at_channel.h"
#include "engine/frame_layer.h"
#include "engine/reporter.h"
#include "engine/serial_channel.h"
#include "engine/unit_archive_capture.h"
#include "engine/unit_archive_check.h"
#include "engine/unit_archive_restore.h"
#include "engine/worker_context.h"
#include "platform/clock.h"

namespace flintcast::controller {

ArchiveWriteBack WriteBackArchiveItems(const std::vector<engine::archive::Item>& chosen, const std::string& diagPort,
                                       const std::string& modemPort, engine::DeviceDirectory& directory,
                                       const config::ProjectConfig& config, const ArchiveLine& line) {
    ArchiveWriteBack outcome;
    auto& clock = platform::SystemClock();
    engine::ReporterHooks hooks;
    hooks.OnStatus = [&line](int32_t, int32_t, int32_t kind, const std::string& text) {
        if (line) line(kind, text);
    };
    engine::Reporter reporter(0, hooks);
    engine::SerialChannel serial(clock, reporter);
    serial.diagPortName = diagPort;
    serial.modemPortName = modemPort;
    serial.projectType = config.projectType;
    engine::FrameLayer frames(clock, reporter, serial);
    engine::WorkerContext ctx{clock, reporter, serial, frames, config, config.projectType};
    engine::AtChannel at(ctx, directory, engine::AtSettings{});

    if (!modemPort.empty()) serial.OpenModemPort();
    if (reporter.ok()) serial.OpenDiagPort();
    outcome.portsOpened = reporter.ok();
    if (!outcome.portsOpened) return outcome;

    // Only what the unit does not hold as archived is written: an item it kept (a read-only one
    // among them) is left alone.
    if (const auto before = engine::UnitArchiveCapture(ctx, at).ReadBack(chosen)) {
        outcome.written = engine::ItemsNotAsTheyWere({{}, chosen}, *before, {});
        if (!outcome.written.empty()) {
            outcome.refused = engine::UnitArchiveRestore(ctx, at).Write(outcome.written);
            if (const auto after = engine::UnitArchiveCapture(ctx, at).ReadBack(outcome.written)) {
                outcome.notRestored = engine::ItemsNotAsExpected(outcome.written, *after);
                outcome.unitAnswered = reporter.ok();
            }
        } else {
            outcome.unitAnswered = reporter.ok();
        }
    }
    if (!outcome.unitAnswered && reporter.ok()) reporter.ShowError("The unit stopped answering while its items were read", 0);
    serial.CloseWithRetry(engine::PortSlot::Diag, "Warning-7");
    serial.CloseWithRetry(engine::PortSlot::Modem, "Warning-9");
    return outcome;
}

}  // namespace flintcast::controller
