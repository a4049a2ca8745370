#include "cli/config_command.h"

#include <fmt/format.h>

#include <iostream>
#include <memory>
#include <ostream>
#include <string_view>

#include "cli/commands.h"
#include "cli/config_json.h"
#include "config/config_sections.h"
#include "config/dual_package.h"
#include "config/read_config.h"
#include "embedded/package.h"
#include "platform/ini_file.h"

namespace flintcast::cli {
namespace {

using nlohmann::ordered_json;

std::string Escaped(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

std::string Scalar(const ordered_json& v) {
    if (v.is_string()) return Escaped(v.get<std::string>());
    if (v.is_boolean()) return v.get<bool>() ? "1" : "0";
    return v.dump();
}

// Plain text rendering of the JSON document: one "key: value" line per scalar,
// one indented line per list entry.
void RenderText(const ordered_json& j, std::ostream& out, const std::string& indent = "") {
    for (const auto& [key, value] : j.items()) {
        if (value.is_object()) {
            out << indent << key << ":\n";
            RenderText(value, out, indent + "  ");
        } else if (value.is_array()) {
            out << indent << key << ": " << (value.empty() ? "(none)" : "") << "\n";
            for (const auto& item : value) {
                if (item.is_object()) {
                    out << indent << "  -";
                    for (const auto& [k, v] : item.items()) out << " " << k << "=\"" << Scalar(v) << "\"";
                    out << "\n";
                } else {
                    out << indent << "  - " << Scalar(item) << "\n";
                }
            }
        } else {
            out << indent << key << ": " << Scalar(value) << "\n";
        }
    }
}

std::string_view ChoiceName(config::PackageChoice choice) {
    switch (choice) {
        case config::PackageChoice::First: return "first";
        case config::PackageChoice::Second: return "second";
        case config::PackageChoice::NotMatched: return "notMatched";
    }
    return "notMatched";
}

}  // namespace

int RunConfigCommand(const ConfigCommandOptions& options, std::ostream& out, std::ostream& err) {
    config::RecordingMessageSink messages;
    config::ProjectConfig cfg;
    bool ok = false;
    std::string source;
    if (options.file) {
        source = *options.file;
        // A file that cannot be read, or that is no configuration at all, gets its error alone:
        // a list of defaults before it would read like a configuration.
        std::string error;
        const auto ini = platform::IniFile::Load(std::filesystem::path(*options.file), &error);
        if (!ini) {
            err << fmt::format("flintcast: cannot read {}: {}\n", source, error);
            return kExitConfigError;
        }
        if (!config::HasConfigSection(*ini)) {
            err << fmt::format("flintcast: {} is not a configuration: it has none of the sections [Project], "
                               "[DownloadItems], [NV_Default], ...\n",
                               source);
            return kExitConfigError;
        }
        ok = config::ReadConfig(*ini, cfg, messages);
    } else {
        source = "(embedded default)";
        const auto data = embedded::package::Find("Config.ini");
        if (!data) {
            err << "flintcast: this build carries no default Config.ini\n";
            return kExitFailure;
        }
        const std::string_view text(reinterpret_cast<const char*>(data->data()), data->size());
        ok = config::ReadConfig(platform::IniFile::FromText(text), cfg, messages);
    }

    ordered_json doc;
    doc["file"] = source;
    doc["configurationError"] = !ok;

    std::optional<config::SecondPackage> second;
    if (options.secondPackage) {
        if (cfg.packet == 2) {
            second.emplace();
            const auto check = config::CheckSecondPackage(*options.secondPackage, cfg, *second, messages);
            if (check == config::SecondPackageCheck::EndApplication) {
                ok = false;
                doc["applicationEnds"] = true;
            }
        } else {
            err << fmt::format("flintcast: Packet is {}, not 2: the second package is not used\n", cfg.packet);
        }
    }
    if (options.deviceBoard) {
        const config::SecondPackage none;
        const auto choice = config::SelectPackage(cfg, second ? *second : none, *options.deviceBoard, messages);
        doc["deviceBoard"] = *options.deviceBoard;
        doc["packageSelection"] = config::NeedsPackageSelection(cfg) ? "used" : "not used at Start";
        doc["packageChoice"] = ChoiceName(choice);
        if (choice == config::PackageChoice::NotMatched) ok = false;
    }

    doc["config"] = ConfigToJson(cfg);
    if (second) doc["secondPackage"] = SecondPackageToJson(*second);
    doc["messages"] = MessagesToJson(messages.messages());
    doc["configurationError"] = !ok;

    if (options.json) {
        // The configuration's own keys at the top level, as other tools expect them.
        ordered_json flat = doc["config"];
        for (const auto& [key, value] : doc.items())
            if (key != "config") flat[key] = value;
        out << flat.dump(2) << "\n";
    } else {
        RenderText(doc, out);
    }
    return ok ? kExitOk : kExitConfigError;
}

void RegisterConfigCommand(CLI::App& app, PendingCommand& pending) {
    auto options = std::make_shared<ConfigCommandOptions>();
    auto* cmd = app.add_subcommand("config", "Read a Config.ini and print the configuration it gives");
    cmd->add_option("FILE", options->file, "Config.ini to read (default: the one built into the program)");
    cmd->add_flag("--json", options->json, "Print JSON");
    cmd->add_option("--second-package", options->secondPackage,
                    "Second package's Config.ini, checked against FILE when Packet is 2");
    cmd->add_option("--device-board", options->deviceBoard,
                    "Mainboard name of a device: show which package Start would use for it");
    cmd->callback([options, &pending] {
        pending.run = [options] { return RunConfigCommand(*options, std::cout, std::cerr); };
    });
}

}  // namespace flintcast::cli
