#include "platform/replace_file.h"

#include <fstream>
#include <vector>

#include "platform/atomic_file.h"

namespace flintcast::platform {

bool WriteFileReplacing(const std::filesystem::path& target, std::span<const uint8_t> data, bool executable) {
    AtomicFileWriter file;
    return file.Open(target, executable) && file.Write(data) && file.Commit();
}

bool CopyFileReplacing(const std::filesystem::path& source, const std::filesystem::path& target) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(source, ec)) return false;
    std::ifstream in(source, std::ios::binary);
    AtomicFileWriter out;
    if (!in || !out.Open(target)) return false;
    std::vector<uint8_t> buffer(1 << 20);
    while (in) {
        in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
        const auto n = static_cast<std::size_t>(in.gcount());
        if (n > 0 && !out.Write(std::span(buffer.data(), n))) return false;
    }
    return in.eof() && out.Commit();
}

}  // namespace flintcast::platform
