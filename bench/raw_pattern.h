#pragma once
// The floor the streaming path is measured against: the same bytes copied through a
// pseudo-terminal pair with the same block-and-reply pattern, by the cheapest possible
// host and device (no framing work, one write per block, a fixed reply per block).
#include <cstdint>
#include <span>
#include <vector>

namespace flintcast::bench {

struct Timing {
    double seconds = 0;
    double cpuSeconds = 0;  // of the calling (host) thread only
    bool ok = false;
    double deviceCpuSeconds = -1;  // of the device side, where it is measured
};

// CPU seconds of the calling thread so far.
double ThreadCpuSeconds();

// Where the device end of a raw copy runs: a thread of this process, or a process of its
// own like the simulator (a switch between processes costs more than one between threads).
enum class DeviceSide { Thread, Process };

// Host writes each frame of `frames` (stream writes, flags included) and waits for a 9-byte
// reply; the device side answers every frame end (a flag after content) with 9 bytes.
Timing RawFramesCopy(const std::vector<std::vector<uint8_t>>& frames, DeviceSide side);

// The host half of RawFramesCopy against a device already on `fd` (the simulator's port):
// separates the device's share of the time from the tool's.
Timing RawFramesTo(int fd, const std::vector<std::vector<uint8_t>>& frames);

// Host writes `image` in unframed blocks of `blockSize` (the last padded) and waits for a
// 9-byte reply after each; the device side answers every `blockSize` bytes.
Timing RawBlocksCopy(std::span<const uint8_t> image, uint32_t blockSize, DeviceSide side);

}  // namespace flintcast::bench
