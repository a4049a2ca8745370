#pragma once
// The commands a fastboot bootloader takes, parsed from the text of one command packet.
// The parser is strict: a command that does not have exactly the expected form is Malformed
// and gets a FAIL with the reason, never a guess.
#include <cstdint>
#include <string>
#include <string_view>

namespace flintcast::sim {

inline constexpr size_t kFastbootMaxCommandBytes = 4096;
inline constexpr size_t kFastbootMaxReplyBytes = 256;

struct FastbootCommand {
    enum class Kind {
        GetVar,           // getvar:NAME
        Download,         // download:XXXXXXXX (8 hex digits)
        Flash,            // flash:NAME
        ChunkFlash,       // mutilflash:0:NAME or mutilflash:1:NAME (1 = last chunk)
        Erase,            // erase:NAME
        Continue,         // continue
        Reboot,           // reboot
        RebootBootloader, // reboot-bootloader
        Unknown,          // a command this bootloader does not have
        Malformed,        // a known command with a bad argument
    };
    Kind kind = Kind::Unknown;
    std::string name;      // variable or partition
    uint32_t size = 0;     // download length
    bool lastChunk = false;
    std::string problem;   // why it is malformed
};

FastbootCommand ParseFastbootCommand(std::string_view text);
// The counter and fault name of a command ("fastboot.flash", ...).
std::string FastbootRequestName(FastbootCommand::Kind kind);

}  // namespace flintcast::sim
