#include "engine/image_file_reader.h"

#include <filesystem>
#include <system_error>

namespace flintcast::engine {

ImageFileReader::~ImageFileReader() { close(); }

bool ImageFileReader::open(const std::string& path) {
    close();
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec)) return false;
    const auto bytes = std::filesystem::file_size(path, ec);
    if (ec) return false;
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) return false;
    size_ = bytes;
    return true;
}

bool ImageFileReader::seek(uint64_t offset) {
    return file_ != nullptr && offset <= size_ && std::fseek(file_, static_cast<long>(offset), SEEK_SET) == 0;
}

size_t ImageFileReader::read(uint8_t* buffer, size_t count) {
    if (file_ == nullptr || count == 0) return 0;
    return std::fread(buffer, 1, count, file_);
}

bool ImageFileReader::close() {
    if (file_ == nullptr) return true;
    const bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    size_ = 0;
    return ok;
}

std::string FileNameOf(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace flintcast::engine
