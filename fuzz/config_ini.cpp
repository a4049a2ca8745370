// Reading Config.ini: any file text gives a configuration or a configuration error with a
// message, never a fault; a failed reading has said why.
#include <cstdint>
#include <string_view>

#include "config/messages.h"
#include "config/project_config.h"
#include "config/read_config.h"
#include "fuzz/fuzz_check.h"
#include "platform/ini_file.h"

using namespace flintcast;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto ini = platform::IniFile::FromText(text);
    config::ProjectConfig cfg;
    config::RecordingMessageSink messages;
    const bool ok = config::ReadConfig(ini, cfg, messages);
    FUZZ_CHECK(ok || !messages.messages().empty());
    return 0;
}
