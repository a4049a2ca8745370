#pragma once
// Converting the flash programmer from Intel HEX to binary with the staged
// converter library, and deriving its load address from the leading
// extended-address record.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "config/messages.h"
#include "platform/native_names.h"

namespace flintcast::controller {

// File name of the converter library in the staging folder.
inline constexpr std::string_view kConverterLibraryName = FLINTCAST_NATIVE_NAME("libravelin.so", "Ravelin.dll");

// The load address for the upper address word in characters 9 to 12 of the HEX
// file, or nothing when the word is not one of the accepted ones. The match is on
// the exact characters (upper-case hexadecimal).
std::optional<uint32_t> LoadAddressForWord(std::string_view word);

// Reads the leading record, checks the upper address word, loads the converter
// library from `libraryFolder` and converts `hexPath` into `binPath`. Every failure
// shows its message and gives false; success sets `loadAddress`.
bool ConvertProgrammer(const std::filesystem::path& hexPath, const std::filesystem::path& binPath,
                       const std::filesystem::path& libraryFolder, config::MessageSink& messages,
                       uint32_t& loadAddress);

// The converted file's name: the HEX file's name up to and including its first
// "." followed by "BIN" ("NPRG6260.hex" gives "NPRG6260.BIN").
std::string ConvertedProgrammerName(const std::string& hexFileName);

}  // namespace flintcast::controller
