// `flintcast restore-archive ARCHIVE`: writes items of a unit archive (all, or those chosen with
// --item) back to the attached unit, then reads them back; --dry-run lists what would be written.
#include <fmt/format.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/run_session.h"
#include "controller/run_parts.h"

namespace flintcast::cli {
namespace {

using controller::archive::Item;

struct RestoreArchiveOptions {
    std::string archivePath;
    std::vector<std::string> items;
    bool dryRun = false;
};

constexpr char kHelp[] =
    "Write items of a unit archive back to the attached unit. A run that writes images which wipe "
    "the unit's data first saves everything the unit holds into unit-archive.bin in the unit's "
    "backup folder, and ends with a warning for each item that the restore did not bring back; "
    "this command writes those (or any) items back and reads them back to check. Items are named "
    "as the warnings name them (\"NV 550\", \"RF NV 6503\", \"IMEI_1\", \"EFS file /nvm/num/888\") "
    "or as nv:ID, rf:ID, efs:PATH. An archive that fails its check is refused and nothing is written.";

// The chosen items, or an empty list with `unknown` set to the first label that names none.
std::vector<Item> Choose(const controller::archive::UnitArchive& unit, const std::vector<std::string>& labels,
                         std::string& unknown) {
    if (labels.empty()) return unit.items;
    std::vector<Item> chosen;
    for (const auto& label : labels) {
        bool found = false;
        for (const auto& item : unit.items) {
            if (!controller::archive::LabelMatches(item, label)) continue;
            found = true;
            if (std::find(chosen.begin(), chosen.end(), item) != chosen.end()) continue;
            chosen.push_back(item);
        }
        if (!found) {
            unknown = label;
            return {};
        }
    }
    return chosen;
}

int WriteBack(const std::vector<Item>& chosen, const std::string& diagPort, const std::string& modemPort,
              controller::DeviceDirectory& directory, const config::ProjectConfig& config, TerminalPresentation& view,
              bool verbose) {
    view.Raw(fmt::format("Unit on {}{}", diagPort,
                         modemPort.empty() ? std::string(" (no modem port: identity values cannot be written)")
                                           : fmt::format(" and {}", modemPort)));
    const auto outcome = controller::WriteBackArchiveItems(chosen, diagPort, modemPort, directory, config,
                                                           [&view, verbose](int kind, const std::string& text) {
                                                               if (kind == 2) view.Error(text);
                                                               else if (verbose) view.Raw(text);
                                                           });
    if (!outcome.portsOpened || !outcome.unitAnswered) return outcome.portsOpened ? kExitFailure : kExitRefused;
    for (const auto& label : outcome.refused) view.Error(fmt::format("The unit refused: {}", label));
    for (const auto& label : outcome.notRestored) view.Error(fmt::format("Not restored: {}", label));
    if (!outcome.ok()) return kExitFailure;
    if (outcome.written.empty()) {
        view.Raw(fmt::format("The unit holds all {} item(s) as archived; nothing to write.", chosen.size()));
        return kExitOk;
    }
    for (const auto& item : outcome.written) view.Raw(fmt::format("Restored {}", controller::archive::ItemLabel(item)));
    view.Raw(fmt::format("Restored and read back: {} item(s)", outcome.written.size()));
    return kExitOk;
}

}  // namespace

void RegisterRestoreArchiveCommand(CLI::App& app, PendingCommand& pending) {
    auto options = std::make_shared<RunOptions>();
    auto own = std::make_shared<RestoreArchiveOptions>();
    CLI::App* cmd = app.add_subcommand("restore-archive", kHelp);
    cmd->add_option("ARCHIVE", own->archivePath, "The unit archive (unit-archive.bin in a backup folder)")->required();
    cmd->add_option("--item", own->items,
                    "An item to write back (repeatable; default every item): \"NV 550\", nv:550, \"RF NV 6503\", "
                    "rf:6503, an identity key such as ESN or IMEI_1, \"EFS file /path\" or efs:/path");
    cmd->add_flag("--dry-run", own->dryRun, "List the items that would be written, touch no unit");
    cmd->add_option("--config", options->configPath, "Config.ini of the unit's project")->check(CLI::ExistingFile);
    cmd->add_option("--device-root", options->deviceRoot,
                    "Device tree to use (a simulator's root); default FLINTCAST_DEVICE_ROOT, else /");
    cmd->add_option("--device-wait", options->deviceWaitSeconds, "Seconds to wait for the unit (default 120)");
    cmd->add_flag("--verbose", options->verbose, "Show every line of the exchange with the unit");
    cmd->callback([options, own, &pending] {
        pending.run = [options, own] {
            PresentationSetup setup = PresentationFor(*options);
            setup.logShown = false;
            TerminalPresentation view(setup);
            const auto loaded = controller::archive::Load(own->archivePath);
            if (!loaded.archive) {
                view.Error(fmt::format("Refused: {} fails its check ({}); nothing was written.", own->archivePath,
                                       loaded.error));
                return kExitRefused;
            }
            std::string unknown;
            const auto chosen = Choose(*loaded.archive, own->items, unknown);
            if (!unknown.empty()) {
                view.Error(fmt::format("The archive holds no item \"{}\".", unknown));
                return kExitUsage;
            }
            view.Raw(fmt::format("Unit archive of {}: {} item(s) chosen", loaded.archive->unitTag, chosen.size()));
            if (own->dryRun) {
                for (const auto& item : chosen)
                    view.Raw(fmt::format("would write {} ({} bytes)", controller::archive::ItemLabel(item), item.data.size()));
                return kExitOk;
            }
            return WithAttachedUnit(*options, view,
                                    [&](const std::string& diag, const std::string& modem,
                                        controller::DeviceDirectory& directory, const config::ProjectConfig& config) {
                                        return WriteBack(chosen, diag, modem, directory, config, view, options->verbose);
                                    });
        };
    });
}

}  // namespace flintcast::cli
