#pragma once
// Reads configuration text the way the tool does and keeps the messages it shows.
#include <string_view>

#include "config/messages.h"
#include "config/project_config.h"
#include "config/read_config.h"
#include "platform/ini_file.h"

namespace flintcast::testing {

struct ReadOutcome {
    bool ok = false;
    config::ProjectConfig config;
    config::RecordingMessageSink messages;

    std::string onlyMessage() const {
        return messages.messages().size() == 1 ? messages.messages().front().text : "<not one message>";
    }
};

inline ReadOutcome ReadText(std::string_view text) {
    ReadOutcome r;
    r.ok = config::ReadConfig(platform::IniFile::FromText(text), r.config, r.messages);
    return r;
}

}  // namespace flintcast::testing
