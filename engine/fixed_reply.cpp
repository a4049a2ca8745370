#include "engine/fixed_reply.h"

#include "engine/reporter.h"
#include "engine/serial_channel.h"

namespace flintcast::engine {

size_t ReadFixedReply(SerialChannel& serial, const Reporter& reporter, std::span<uint8_t> out) {
    size_t got = 0;
    while (got < out.size()) {
        const uint32_t n = serial.ReadDiag(out.data() + got, static_cast<uint32_t>(out.size() - got));
        if (n == 0) break;
        got += n;
        if (!reporter.ok()) break;
    }
    return got;
}

}  // namespace flintcast::engine
