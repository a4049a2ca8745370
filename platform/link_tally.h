#pragma once
// Serial traffic of the process: bytes moved through SerialPort reads and writes and the real
// time spent inside those calls (waiting for a device's answer included). A measured run reads
// the totals before and after; nothing in the tool's own logic reads them.
#include <cstdint>

namespace flintcast::platform {

enum class LinkDirection { Read, Write };

struct LinkTally {
    uint64_t bytesRead = 0;
    uint64_t bytesWritten = 0;
    int64_t readNs = 0;   // real nanoseconds inside SerialPort::read
    int64_t writeNs = 0;  // real nanoseconds inside SerialPort::write
};

LinkTally ReadLinkTally();
void CountLinkBytes(LinkDirection direction, int64_t bytes);

// Adds the real time from its construction to its end to the direction's total.
class LinkTimer {
public:
    explicit LinkTimer(LinkDirection direction);
    ~LinkTimer();
    LinkTimer(const LinkTimer&) = delete;
    LinkTimer& operator=(const LinkTimer&) = delete;

private:
    LinkDirection direction_;
    int64_t startNs_;
};

}  // namespace flintcast::platform
