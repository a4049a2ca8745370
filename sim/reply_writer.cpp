#include "sim/reply_writer.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "codec/hdlc.h"

namespace flintcast::sim {
namespace {

constexpr uint32_t kStalledClientMs = 5000;  // a client this long without reading is gone
constexpr size_t kPaceChunk = 64;
constexpr uint32_t kSplitGapMs = 200;  // device time between the two halves of a split reply

// Sleeps on the scaled clock for the time `count` bytes take at `bytesPerSecond`, carrying
// fractions of a millisecond over to the next call so small chunks still add up.
void Pace(size_t count, int64_t bytesPerSecond, const platform::Clock& clock) {
    thread_local double owedMs = 0;
    owedMs += static_cast<double>(count) * 1000.0 / static_cast<double>(bytesPerSecond);
    if (owedMs >= 1.0) {
        const auto whole = static_cast<uint32_t>(owedMs);
        owedMs -= whole;
        clock.sleepMs(whole);
    }
}

}  // namespace

bool CorruptFrameCheck(std::vector<uint8_t>& frame) {
    if (frame.size() < 3 || frame.back() != hdlc::kFlag) return false;
    uint8_t& b = frame[frame.size() - 2];
    if (b == hdlc::kFlag) return false;
    b ^= 0x01;
    if (b == hdlc::kFlag || b == hdlc::kEscape) b ^= 0x41;
    return true;
}

bool WritePaced(int fd, std::span<const uint8_t> bytes, int64_t bytesPerSecond, const platform::Clock& clock) {
    size_t done = 0;
    while (done < bytes.size()) {
        size_t n = bytes.size() - done;
        if (bytesPerSecond > 0) n = std::min(n, kPaceChunk);
        const ssize_t w = ::write(fd, bytes.data() + done, n);
        if (w > 0) {
            done += static_cast<size_t>(w);
            if (bytesPerSecond > 0) Pace(static_cast<size_t>(w), bytesPerSecond, clock);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, clock.realTimeoutMs(kStalledClientMs)) <= 0) return false;
            continue;
        }
        return false;
    }
    return true;
}

int64_t ReplyWriter::Rate(std::string_view role) const {
    return faults_.setting(FaultKind::Throttle, role).value_or(0);
}

void ReplyWriter::Send(int fd, std::string_view role, std::vector<uint8_t> bytes, bool framed, uint32_t delayMs) {
    if (bytes.empty()) return;
    // Every reply counts as one occurrence for each kind, so "@N" always means the Nth reply of
    // the port, whatever other rules did to the earlier ones.
    const bool drop = faults_.fire(FaultKind::DropReply, role).has_value();
    const bool corrupt = faults_.fire(FaultKind::CorruptCrc, role).has_value();
    const auto extra = faults_.fire(FaultKind::DelayReply, role);
    const auto split = faults_.fire(FaultKind::SplitReply, role);
    if (drop) return;
    if (framed && corrupt) CorruptFrameCheck(bytes);
    if (extra) delayMs += static_cast<uint32_t>(*extra);
    if (delayMs > 0) clock_.sleepMs(delayMs);
    const int64_t rate = Rate(role);
    if (const auto at = split; at && bytes.size() > 1) {
        size_t cut = *at > 0 ? static_cast<size_t>(*at) : bytes.size() / 2;
        cut = std::clamp<size_t>(cut, 1, bytes.size() - 1);
        if (!WritePaced(fd, std::span(bytes).first(cut), rate, clock_)) return;
        // A pause between the halves, so the client's read returns the first half on its own.
        clock_.sleepMs(kSplitGapMs);
        WritePaced(fd, std::span(bytes).subspan(cut), rate, clock_);
        return;
    }
    WritePaced(fd, bytes, rate, clock_);
}

void ReplyWriter::PaceRead(std::string_view role, size_t count) {
    const int64_t rate = Rate(role);
    if (rate <= 0 || count == 0) return;
    Pace(count, rate, clock_);
}

}  // namespace flintcast::sim
