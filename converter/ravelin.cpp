// The converter library's C exports: file handling and messages around the
// HEX record splitter and image builder. A library shows no windows: each message
// goes to standard error and is kept for RavelinLastMessage, which the tool reads.
#include "converter/ravelin.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "converter/hex_image.h"
#include "converter/hex_records.h"
#include "converter/messages.h"

#ifdef _WIN32
#define RAVELIN_EXPORT __declspec(dllexport)
#else
#define RAVELIN_EXPORT __attribute__((visibility("default")))
#endif

namespace {

// One message per process, not per thread: a thread-local in a library that is loaded and
// unloaded at run time lives in dynamic TLS, which the leak checker cannot walk reliably after
// the unload. Callers serialise a conversion and the read of its message.
std::string lastMessage;

int Fail(std::string_view text, const char* path = nullptr) {
    lastMessage = std::string(text);
    if (path != nullptr) lastMessage += path;
    std::fprintf(stderr, "%s\n", lastMessage.c_str());
    return 0;
}

bool ReadWholeFile(std::FILE* file, std::string& text, std::size_t size) {
    text.resize(size);
    return std::fread(text.data(), 1, size, file) == size && std::fgetc(file) == EOF;
}

}  // namespace

extern "C" RAVELIN_EXPORT int Ravelin(const char* hexPath, const char* binPath) {
    using namespace flintcast::converter;
    lastMessage.clear();
    if (hexPath == nullptr) return Fail(kFileSizeWrong, "");
    if (binPath == nullptr) return Fail(kCannotCreateBin, "");

    std::error_code ec;
    const std::filesystem::path hexFile(hexPath);
    const bool regular = std::filesystem::is_regular_file(hexFile, ec);
    const std::uintmax_t size = regular ? std::filesystem::file_size(hexFile, ec) : 0;
    if (!regular || ec) return Fail(kFileSizeWrong, hexPath);
    std::FILE* hex = std::fopen(hexPath, "rb");
    if (hex == nullptr) return Fail(kCannotOpenHex, hexPath);
    if (size > kMaxInputBytes) {
        std::fclose(hex);
        return Fail(kHexTooLarge, hexPath);
    }
    std::string text;
    const bool read = ReadWholeFile(hex, text, static_cast<std::size_t>(size));
    std::fclose(hex);
    // A file that changed size while being read is treated like one whose size is unknown.
    if (!read) return Fail(kFileSizeWrong, hexPath);

    const RecordSplit split = SplitHexRecords(text);
    if (!split.ok) return Fail(split.message);
    const ImageBuild image = BuildImage(split.records);
    if (!image.ok) return Fail(image.message);

    std::FILE* bin = std::fopen(binPath, "wb");
    if (bin == nullptr) return Fail(kCannotCreateBin, binPath);
    const bool written = std::fwrite(image.bytes.data(), 1, image.bytes.size(), bin) == image.bytes.size();
    const bool closed = std::fclose(bin) == 0;
    if (!written || !closed) {
        std::remove(binPath);  // never leave a truncated programmer behind
        return Fail(kCannotWriteBin, binPath);
    }
    return 1;
}

extern "C" RAVELIN_EXPORT const char* RavelinLastMessage(void) { return lastMessage.c_str(); }
