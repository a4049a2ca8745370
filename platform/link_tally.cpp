#include "platform/link_tally.h"

#include <atomic>
#include <chrono>

namespace flintcast::platform {
namespace {

std::atomic<uint64_t> gBytesRead{0};
std::atomic<uint64_t> gBytesWritten{0};
std::atomic<int64_t> gReadNs{0};
std::atomic<int64_t> gWriteNs{0};

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

LinkTally ReadLinkTally() {
    return {gBytesRead.load(std::memory_order_relaxed), gBytesWritten.load(std::memory_order_relaxed),
            gReadNs.load(std::memory_order_relaxed), gWriteNs.load(std::memory_order_relaxed)};
}

void CountLinkBytes(LinkDirection direction, int64_t bytes) {
    if (bytes <= 0) return;
    auto& total = direction == LinkDirection::Read ? gBytesRead : gBytesWritten;
    total.fetch_add(static_cast<uint64_t>(bytes), std::memory_order_relaxed);
}

LinkTimer::LinkTimer(LinkDirection direction) : direction_(direction), startNs_(NowNs()) {}

LinkTimer::~LinkTimer() {
    auto& total = direction_ == LinkDirection::Read ? gReadNs : gWriteNs;
    total.fetch_add(NowNs() - startNs_, std::memory_order_relaxed);
}

}  // namespace flintcast::platform
