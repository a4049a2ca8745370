#include "sim/model/nv_store.h"

namespace flintcast::sim {

bool operator==(const NvItem& a, const NvItem& b) {
    return a.id == b.id && a.data == b.data && a.status == b.status;
}

bool operator==(const RfNvItem& a, const RfNvItem& b) { return a.id == b.id && a.data == b.data; }

const NvItem* NvStore::Find(uint16_t id) const {
    const auto it = items_.find(id);
    return it == items_.end() ? nullptr : &it->second;
}

NvStore::ReadResult NvStore::Read(uint16_t id) const {
    const NvItem* item = Find(id);
    if (item == nullptr) return {NvStatus::Inactive, {}};
    switch (item->status) {
    case NvStatus::Done:
    case NvStatus::ReadOnly:  // read-only items can be read, only not written
        return {NvStatus::Done, item->data};
    default:
        return {item->status, {}};
    }
}

NvStatus NvStore::Write(uint16_t id, const std::array<uint8_t, kNvItemBytes>& data) {
    auto it = items_.find(id);
    if (it == items_.end()) {
        items_[id] = NvItem{id, data, NvStatus::Done};
        return NvStatus::Done;
    }
    NvItem& item = it->second;
    switch (item.status) {
    case NvStatus::ReadOnly:
    case NvStatus::NotDefined:
        return item.status;
    default:
        item.data = data;
        item.status = NvStatus::Done;
        return NvStatus::Done;
    }
}

void NvStore::SetRf(RfNvItem item) {
    if (item.data.size() > kMaxRfNvBytes) item.data.resize(kMaxRfNvBytes);
    const uint16_t id = item.id;
    rfItems_[id] = std::move(item);
}

const RfNvItem* NvStore::FindRf(uint16_t id) const {
    const auto it = rfItems_.find(id);
    return it == rfItems_.end() ? nullptr : &it->second;
}

bool NvStore::WriteRf(uint16_t id, std::vector<uint8_t> data) {
    if (data.size() > kMaxRfNvBytes) return false;
    rfItems_[id] = RfNvItem{id, std::move(data)};
    return true;
}

}  // namespace flintcast::sim
