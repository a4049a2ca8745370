#pragma once
// Reading a fixed-length reply from the diagnostic port. One port read may
// return only part of a reply that the device wrote in pieces; a reply split
// across reads is still the device's reply, so the reader keeps reading until
// it has the count, a read brings nothing (the port waited out its own
// first-byte time-out), or the worker's error is latched.
#include <cstddef>
#include <cstdint>
#include <span>

namespace flintcast::engine {

class SerialChannel;
class Reporter;

// Fills `out` from the diagnostic port; returns the number of bytes read.
size_t ReadFixedReply(SerialChannel& serial, const Reporter& reporter, std::span<uint8_t> out);

}  // namespace flintcast::engine
