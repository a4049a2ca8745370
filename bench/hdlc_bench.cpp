// Throughput of the frame codec on 1 MiB of random bytes cut into 1,024-byte
// frames, with memcpy of the same bytes as the baseline of the same run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <span>
#include <vector>

#include "codec/hdlc.h"

namespace {

constexpr size_t kTotalBytes = 1 << 20;
constexpr size_t kFrameBytes = 1024;

const std::vector<uint8_t>& RandomBytes() {
    static const std::vector<uint8_t> data = [] {
        std::vector<uint8_t> d(kTotalBytes);
        std::mt19937_64 rng(20240601);
        for (auto& b : d) b = static_cast<uint8_t>(rng());
        return d;
    }();
    return data;
}

// All frames of the data, encoded back to back as a device would send them.
const std::vector<uint8_t>& EncodedStream() {
    static const std::vector<uint8_t> stream = [] {
        std::vector<uint8_t> s;
        const auto& d = RandomBytes();
        for (size_t off = 0; off < d.size(); off += kFrameBytes)
            flintcast::hdlc::EncodeFrameInto(s, std::span(d).subspan(off, kFrameBytes), true);
        return s;
    }();
    return stream;
}

void BM_Memcpy(benchmark::State& state) {
    const auto& d = RandomBytes();
    std::vector<uint8_t> out(kFrameBytes);
    for (auto _ : state) {
        for (size_t off = 0; off < d.size(); off += kFrameBytes) {
            std::memcpy(out.data(), d.data() + off, kFrameBytes);
            benchmark::DoNotOptimize(out.data());
            benchmark::ClobberMemory();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kTotalBytes);
}

void BM_Encode(benchmark::State& state) {
    const auto& d = RandomBytes();
    std::vector<uint8_t> out;
    out.reserve(2 * kFrameBytes + 8);
    for (auto _ : state) {
        for (size_t off = 0; off < d.size(); off += kFrameBytes) {
            out.clear();
            flintcast::hdlc::EncodeFrameInto(out, std::span(d).subspan(off, kFrameBytes), true);
            benchmark::DoNotOptimize(out.data());
            benchmark::ClobberMemory();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kTotalBytes);
}

void BM_Decode(benchmark::State& state) {
    const auto& s = EncodedStream();
    flintcast::hdlc::FrameDecoder decoder(true);
    size_t frames = 0;
    for (auto _ : state) {
        std::span<const uint8_t> rest(s);
        while (!rest.empty()) {
            size_t used = 0;
            if (decoder.feed(rest, used) == flintcast::hdlc::FrameDecoder::Status::Frame) ++frames;
            rest = rest.subspan(used);
        }
        benchmark::DoNotOptimize(frames);
    }
    if (frames != static_cast<size_t>(state.iterations()) * (kTotalBytes / kFrameBytes))
        state.SkipWithError("decoder lost frames");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kTotalBytes);
}

}  // namespace

BENCHMARK(BM_Memcpy);
BENCHMARK(BM_Encode);
BENCHMARK(BM_Decode);
