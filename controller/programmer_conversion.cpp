#include "controller/programmer_conversion.h"

#include <array>
#include <fstream>
#include <mutex>
#include <string>

#include "converter/ravelin.h"
#include "platform/dynamic_library.h"

namespace flintcast::controller {
namespace {

// Upper address words of the programmers the tool knows, in the order they were introduced.
constexpr std::array<std::string_view, 13> kAcceptedWords = {
    "0080", "00A0", "0805", "0570", "01E0", "0DB0", "2D90", "1D90", "0DF0", "0010", "0700", "2D70", "0D70",
};

// The leading record must be an extended linear address record (":02000004"): only
// then is its word the upper half of the load address.
constexpr std::string_view kLinearAddressRecord = ":02000004";

void ShowError(config::MessageSink& messages, std::string text,
               config::MessageIcon icon = config::MessageIcon::None) {
    messages.show({"ERROR", std::move(text), config::MessageButtons::Ok, icon});
}

}  // namespace

std::optional<uint32_t> LoadAddressForWord(std::string_view word) {
    for (const std::string_view accepted : kAcceptedWords) {
        if (word == accepted) return static_cast<uint32_t>(std::stoul(std::string(word), nullptr, 16)) << 16;
    }
    return std::nullopt;
}

std::string ConvertedProgrammerName(const std::string& hexFileName) {
    const std::size_t dot = hexFileName.find('.');
    return (dot == std::string::npos ? hexFileName + "." : hexFileName.substr(0, dot + 1)) + "BIN";
}

bool ConvertProgrammer(const std::filesystem::path& hexPath, const std::filesystem::path& binPath,
                       const std::filesystem::path& libraryFolder, config::MessageSink& messages,
                       uint32_t& loadAddress) {
    std::array<char, 13> head{};
    {
        std::ifstream hex(hexPath, std::ios::binary);
        if (!hex) {
            ShowError(messages, "Read hex file failed(INVALID_HANDLE)!");
            return false;
        }
        hex.read(head.data(), head.size());
        if (hex.gcount() != static_cast<std::streamsize>(head.size())) {
            ShowError(messages, "Read hex file failed!");
            return false;
        }
    }
    const std::string_view text(head.data(), head.size());
    const std::optional<uint32_t> address = LoadAddressForWord(text.substr(9, 4));
    if (!address || text.substr(0, 9) != kLinearAddressRecord) {
        ShowError(messages, "Base address error!");
        return false;
    }

    platform::DynamicLibrary library;
    const std::string libraryPath = (libraryFolder / kConverterLibraryName).string();
    const auto failLoad = [&] {
        ShowError(messages, "Load library failed [" + std::string(kConverterLibraryName) + "]!");
        return false;
    };
    if (!library.open(libraryPath)) return failLoad();
    const auto convert = reinterpret_cast<RavelinFunction>(library.symbol("Ravelin"));
    const auto lastMessage = reinterpret_cast<RavelinLastMessageFunction>(library.symbol("RavelinLastMessage"));
    if (convert == nullptr) return failLoad();

    // The library keeps one last message per process: a conversion and the read of its
    // message happen under one lock.
    static std::mutex conversionLock;
    const std::lock_guard<std::mutex> guard(conversionLock);
    if (convert(hexPath.string().c_str(), binPath.string().c_str()) == 0) {
        // The library cannot show its own message box; show what it reported first.
        if (lastMessage != nullptr && *lastMessage() != '\0') {
            messages.show({"Ravelin", lastMessage(), config::MessageButtons::Ok, config::MessageIcon::None});
        }
        ShowError(messages, "switch hex to bin failed!", config::MessageIcon::Warning);
        return false;
    }
    library.close();
    loadAddress = *address;
    return true;
}

}  // namespace flintcast::controller
