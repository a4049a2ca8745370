#include "engine/backup_file_check.h"

#include <array>

#include <fmt/format.h>

#include "codec/byte_order.h"
#include "engine/image_file_reader.h"
#include "engine/nv_items.h"
#include "engine/nv_requests.h"

namespace flintcast::engine {

std::optional<std::string> NvBackupDamage(const std::string& path) {
    ImageFileReader file;
    if (!file.open(path)) return std::string("it cannot be opened");
    const uint64_t size = file.size();
    if (size % kNvRecordBytes != 0) {
        return fmt::format("{} bytes are not whole records of {} bytes", size, kNvRecordBytes);
    }
    if (size / kNvRecordBytes > NvItems::kListCapacity) {
        return fmt::format("{} records, more than a backup writes", size / kNvRecordBytes);
    }
    return std::nullopt;
}

std::optional<std::string> RfNvBackupDamage(const std::string& path) {
    ImageFileReader file;
    if (!file.open(path)) return std::string("it cannot be opened");
    uint64_t at = 0;
    size_t records = 0;
    while (at < file.size()) {
        std::array<uint8_t, 4> head{};
        if (!file.readFull(head.data(), head.size())) {
            return fmt::format("record {} is cut short at byte {} of {}", records + 1, at, file.size());
        }
        const size_t size = byte_order::Le16(head, 2);
        if (head.size() + size > NvItems::kRfRecordBufferBytes) {
            return fmt::format("record {} claims {} bytes, more than a record holds", records + 1, size);
        }
        if (at + head.size() + size > file.size()) {
            return fmt::format("record {} claims {} bytes, the file ends {} bytes after its head", records + 1, size,
                               file.size() - at - head.size());
        }
        at += head.size() + size;
        if (!file.seek(at)) return fmt::format("it cannot be read past byte {}", at);
        if (++records > NvItems::kListCapacity) return fmt::format("more records than a backup writes");
    }
    return std::nullopt;
}

std::optional<std::string> IdentityBackupDamage(const std::string& path) {
    ImageFileReader file;
    if (!file.open(path)) return std::string("it cannot be opened");
    if (file.size() == 0) return std::string("it is empty");
    uint8_t last = 0;
    if (!file.seek(file.size() - 1) || !file.readFull(&last, 1)) return std::string("it cannot be read");
    if (last != '\n') return std::string("its last line is cut short");
    return std::nullopt;
}

}  // namespace flintcast::engine
