// The NV answer status and the EFS answers: field reads stay inside the answer, a directory
// entry's name comes from inside it, a name the listing accepts never leads a copy out of the
// EFS folder, and any device path maps inside that folder or is refused.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "engine/efs_mirror.h"
#include "engine/efs_requests.h"
#include "engine/nv_status.h"
#include "engine/reporter.h"
#include "fuzz/fuzz_check.h"

using namespace flintcast::engine;

namespace {

constexpr std::string_view kFolder = "/backup/unit";

bool Inside(const std::string& pcPath) {
    const std::string root = std::string(kFolder) + "/EFS";
    const std::string normal = std::filesystem::path(pcPath).lexically_normal().string();
    return normal.rfind(root, 0) == 0 && (normal.size() == root.size() || normal[root.size()] == '/');
}

void CheckNvStatuses(std::span<const uint8_t> answer) {
    for (auto variant : {NvStatusVariant::Plain, NvStatusVariant::Rf, NvStatusVariant::Project,
                         NvStatusVariant::Custom}) {
        Reporter reporter;
        const int result = CheckNvStatus(reporter, answer, "[1]", variant);
        FUZZ_CHECK((result >= 0 && result <= 10) || result == kNvStatusUnknown);
        FUZZ_CHECK(result != 0 || reporter.ok());
    }
}

void CheckEfsAnswer(std::span<const uint8_t> reply, size_t trailer) {
    FUZZ_CHECK(efs::ByteAt(reply, reply.size()) == 0);
    // A field that runs past the end reads its missing bytes as 0.
    const size_t tail = reply.size() >= 2 ? reply.size() - 2 : 0;
    FUZZ_CHECK(efs::Le32At(reply, tail) == (uint32_t{efs::ByteAt(reply, tail)} | uint32_t{efs::ByteAt(reply, tail + 1)} << 8));
    for (auto command : {efs::Command::Open, efs::Command::Read, efs::Command::ReadDir, efs::Command::Stat}) {
        if (efs::IsAnswerTo(reply, command))
            FUZZ_CHECK(reply.size() >= 3 && reply[0] == 0x4B && reply[1] == 0x13);
    }
    const auto entry = efs::DecodeDirEntry(reply, trailer);
    FUZZ_CHECK(entry.name.empty() || entry.name.size() + trailer < reply.size());
    FUZZ_CHECK(std::find(entry.name.begin(), entry.name.end(), 0) == entry.name.end());
    FUZZ_CHECK(!(entry.isDirectory() && entry.isFile()));

    const std::string shown = PrintableName(entry.name);
    for (char c : shown) FUZZ_CHECK(c >= 0x20 && c < 0x7F);
    const EntryName verdict = CheckEntryName(entry.name);
    if (verdict == EntryName::Usable) {
        const std::string name(entry.name.begin(), entry.name.end());
        FUZZ_CHECK(name != "." && name != ".." && name.find('/') == std::string::npos);
        const auto pc = MirrorPathOf(kFolder, "/dir/" + name);
        FUZZ_CHECK(pc && Inside(*pc));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    CheckNvStatuses(bytes);
    // The EFS reader keeps the flag behind the check sequence; a plain frame has two bytes.
    CheckEfsAnswer(bytes, 3);
    CheckEfsAnswer(bytes, 2);
    // A device path of any bytes maps inside the EFS folder or is refused.
    const std::string_view path(reinterpret_cast<const char*>(data), size);
    if (const auto pc = MirrorPathOf(kFolder, path)) {
        FUZZ_CHECK(Inside(*pc));
        FUZZ_CHECK(MirrorParentOf(*pc).size() <= pc->size());
    }
    return 0;
}
