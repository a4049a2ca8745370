#pragma once
// The device's NV memory: 128-byte items with a status, and RF NV items of any size.
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace flintcast::sim {

inline constexpr size_t kNvItemBytes = 128;

// Status words the device answers NV requests with (the NV service's own codes).
enum class NvStatus : uint16_t {
    Done = 0,
    Busy = 1,
    BadCommand = 2,
    Full = 3,
    Fail = 4,
    Inactive = 5,
    BadParameter = 6,
    ReadOnly = 7,
    NotDefined = 8,
    NoMemory = 9,
    NotAllocated = 10,
};

struct NvItem {
    uint16_t id = 0;
    std::array<uint8_t, kNvItemBytes> data{};
    // Done means active. Inactive items read as status 5 until written; read-only items
    // refuse writes with 7; not-defined items refuse both with 8.
    NvStatus status = NvStatus::Done;
};

struct RfNvItem {
    uint16_t id = 0;
    std::vector<uint8_t> data;
};

// Largest RF NV item the device keeps: its read answer (16 header bytes, the data and the
// check sequence) must fit one 4,096-byte frame.
inline constexpr size_t kMaxRfNvBytes = 4096 - 16 - 2;

class NvStore {
public:
    struct ReadResult {
        NvStatus status;
        std::array<uint8_t, kNvItemBytes> data{};
    };

    void Set(const NvItem& item) { items_[item.id] = item; }
    const NvItem* Find(uint16_t id) const;
    // An item the device has never held reads as inactive, with zero data.
    ReadResult Read(uint16_t id) const;
    // Writing an absent or inactive item makes it active; read-only and not-defined
    // items keep their value.
    NvStatus Write(uint16_t id, const std::array<uint8_t, kNvItemBytes>& data);
    const std::map<uint16_t, NvItem>& items() const { return items_; }

    void SetRf(RfNvItem item);
    const RfNvItem* FindRf(uint16_t id) const;
    // False when the data is larger than kMaxRfNvBytes.
    bool WriteRf(uint16_t id, std::vector<uint8_t> data);
    const std::map<uint16_t, RfNvItem>& rfItems() const { return rfItems_; }

    bool operator==(const NvStore&) const = default;

private:
    std::map<uint16_t, NvItem> items_;
    std::map<uint16_t, RfNvItem> rfItems_;
};

bool operator==(const NvItem& a, const NvItem& b);
bool operator==(const RfNvItem& a, const RfNvItem& b);

}  // namespace flintcast::sim
