// Streaming throughput against flintcast-devsim (a separate process, time scale 1.0, no
// throttle): a 32 MiB AMSS image written with 1,024-byte stream writes and with the fast
// transfer, next to raw copies of the same bytes through a pseudo-terminal pair with the same
// block-and-reply pattern. Prints MB/s, the ratio to the raw copy, the tool's CPU seconds per
// MiB (the tool's thread only) and the simulator's. The machine may be shared, so every
// measurement is repeated and the best round counts; the rounds interleave raw and tool runs.
//
//   bench_streaming [--mib N] [--rounds N] [--no-fast]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "bench/devsim_session.h"
#include "bench/raw_pattern.h"
#include "codec/hdlc.h"
#include "engine/download_progress.h"
#include "engine/streaming_download.h"
#include "engine/streaming_messages.h"

namespace {

using namespace flintcast;
using bench::DeviceSide;
using bench::Timing;
using SteadyClock = std::chrono::steady_clock;

constexpr uint32_t kBlock = 1024;
constexpr uint8_t kAmssType = 0x05;

struct Options {
    uint32_t mib = 32;
    int rounds = 3;
    bool fast = true;
};

std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> out(size);
    uint32_t x = 0x2545F491u;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return out;
}

double Since(SteadyClock::time_point t0) { return std::chrono::duration<double>(SteadyClock::now() - t0).count(); }

// The stream-write frames exactly as the tool puts them on the wire.
std::vector<std::vector<uint8_t>> StreamWriteFrames(const std::vector<uint8_t>& image) {
    std::vector<std::vector<uint8_t>> frames;
    for (uint32_t at = 0; at < image.size(); at += kBlock) {
        const auto data = std::span(image).subspan(at, std::min<size_t>(kBlock, image.size() - at));
        frames.push_back(hdlc::EncodeFrame(engine::streaming::BuildStreamWrite(at, data), true));
    }
    return frames;
}

bool Verify(const bench::DevsimSession& s, const std::vector<uint8_t>& image, const char* what) {
    const auto stored = s.StoredAmss(image.size());
    if (stored && *stored == image) return true;
    fmt::print(stderr, "{}: the device did not store the image\n", what);
    return false;
}

Timing StreamWrites(bench::DevsimSession& s, const std::vector<uint8_t>& image) {
    engine::DownloadProgress progress(image.size());
    engine::StreamingDownload streaming(s.worker.ctx, progress);
    if (streaming.OpenImage(kAmssType, {}) != 0) return {};
    const double cpu0 = bench::ThreadCpuSeconds();
    const double device0 = s.DeviceCpuSeconds();
    const auto t0 = SteadyClock::now();
    bool ok = true;
    for (uint32_t at = 0; at < image.size() && ok; at += kBlock) {
        const auto data = std::span(image).subspan(at, std::min<size_t>(kBlock, image.size() - at));
        ok = streaming.StreamWrite(at, data) == 0;
    }
    Timing t{Since(t0), bench::ThreadCpuSeconds() - cpu0, ok, s.DeviceCpuSeconds() - device0};
    t.ok = ok && streaming.CloseImage() == 0 && Verify(s, image, "stream writes");
    return t;
}

// The same frames written by the bare host loop of the raw copy to the simulator.
Timing RawFramesToDevice(bench::DevsimSession& s, const std::vector<std::vector<uint8_t>>& frames,
                         const std::vector<uint8_t>& image) {
    engine::DownloadProgress progress(image.size());
    engine::StreamingDownload streaming(s.worker.ctx, progress);
    if (streaming.OpenImage(kAmssType, {}) != 0) return {};
    const double device0 = s.DeviceCpuSeconds();
    Timing t = bench::RawFramesTo(s.worker.serial.diag().fd(), frames);
    t.deviceCpuSeconds = s.DeviceCpuSeconds() - device0;
    t.ok = t.ok && streaming.CloseImage() == 0 && Verify(s, image, "raw frames to the device");
    return t;
}

struct FastTiming {
    Timing total;
    Timing data;  // from "Transmit data start." to "Transmit data OK", summed over the parts
};

FastTiming FastTransfer(bench::DevsimSession& s, const std::vector<uint8_t>& image) {
    const auto path = s.dir.path() / "amss.mbn";
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    engine::DownloadProgress progress(image.size());
    engine::StreamingDownload streaming(s.worker.ctx, progress);
    streaming.blockSize = kBlock;
    streaming.fastSpeed = true;
    if (streaming.OpenImage(kAmssType, {}) != 0) return {};

    // The data phase is timed from the worker's own lines, so the write-flash waits the
    // protocol requires stay out of it.
    FastTiming out;
    out.data.deviceCpuSeconds = 0;
    SteadyClock::time_point started{};
    double cpuStarted = 0;
    double deviceStarted = 0;
    engine::ReporterHooks hooks;
    hooks.OnStatus = [&](int32_t, int32_t, int32_t, const std::string& text) {
        if (text == "Transmit data start.") {
            started = SteadyClock::now();
            cpuStarted = bench::ThreadCpuSeconds();
            deviceStarted = s.DeviceCpuSeconds();
        } else if (text == "Transmit data OK") {
            out.data.seconds += Since(started);
            out.data.cpuSeconds += bench::ThreadCpuSeconds() - cpuStarted;
            out.data.deviceCpuSeconds += s.DeviceCpuSeconds() - deviceStarted;
        }
    };
    s.worker.reporter.setHooks(hooks);
    const double cpu0 = bench::ThreadCpuSeconds();
    const auto t0 = SteadyClock::now();
    const bool ok =
        streaming.FastTransfer(path.string(), static_cast<uint32_t>(image.size()), hdlc::CheckSequence(image));
    out.total = {Since(t0), bench::ThreadCpuSeconds() - cpu0, ok};
    s.worker.reporter.setHooks({});
    out.total.ok = ok && streaming.CloseImage() == 0 && Verify(s, image, "fast transfer");
    out.data.ok = out.total.ok;
    return out;
}

struct Best {
    Timing t;
    void Take(const Timing& r) {
        if (r.ok && (!t.ok || r.seconds < t.seconds)) t = r;
    }
};

void Print(const char* name, const Timing& t, const Timing& raw, double mib) {
    if (!t.ok) return (void)fmt::print("{:<40} failed\n", name);
    const double bytes = mib * (1 << 20);
    fmt::print("{:<40} {:7.2f} MB/s  ratio {:5.1f}%  tool CPU {:.4f} s/MiB", name, bytes / t.seconds / 1e6,
               100.0 * raw.seconds / t.seconds, t.cpuSeconds / mib);
    if (t.deviceCpuSeconds >= 0) fmt::print("  device CPU {:.4f} s/MiB", t.deviceCpuSeconds / mib);
    fmt::print("\n");
}

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--mib" && i + 1 < argc) {
            o.mib = static_cast<uint32_t>(std::clamp(std::atoi(argv[++i]), 1, 1024));
        } else if (a == "--rounds" && i + 1 < argc) {
            o.rounds = std::clamp(std::atoi(argv[++i]), 1, 100);
        } else if (a == "--no-fast") {
            o.fast = false;
        } else {
            fmt::print(stderr, "usage: bench_streaming [--mib N] [--rounds N] [--no-fast]\n");
            std::exit(2);
        }
    }
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = Parse(argc, argv);
    const auto image = Pattern(size_t{o.mib} << 20);
    const auto frames = StreamWriteFrames(image);
    bench::DevsimSession session;
    if (!session.error().empty()) {
        fmt::print(stderr, "simulator: {}\n", session.error());
        return 1;
    }
    engine::DownloadProgress progress;
    if (engine::StreamingDownload(session.worker.ctx, progress).SendHello() != 0) {
        fmt::print(stderr, "the programmer does not answer hello\n");
        return 1;
    }
    Best rawFrames, rawFramesThread, rawToDevice, writes, rawBlocks, rawBlocksThread, fastData, fastTotal;
    for (int round = 1; round <= o.rounds; ++round) {
        const Timing rf = bench::RawFramesCopy(frames, DeviceSide::Process);
        const Timing rft = bench::RawFramesCopy(frames, DeviceSide::Thread);
        const Timing rd = RawFramesToDevice(session, frames, image);
        const Timing sw = StreamWrites(session, image);
        fmt::print("round {}: raw frames {:.2f} s (thread {:.2f} s, to the simulator {:.2f} s), stream writes {:.2f} s",
                   round, rf.seconds, rft.seconds, rd.seconds, sw.seconds);
        rawToDevice.Take(rd);
        rawFrames.Take(rf);
        rawFramesThread.Take(rft);
        writes.Take(sw);
        if (o.fast) {
            const Timing rb = bench::RawBlocksCopy(image, kBlock, DeviceSide::Process);
            const Timing rbt = bench::RawBlocksCopy(image, kBlock, DeviceSide::Thread);
            const FastTiming ft = FastTransfer(session, image);
            fmt::print(", raw blocks {:.2f} s (thread {:.2f} s), fast data {:.2f} s (total {:.2f} s)", rb.seconds,
                       rbt.seconds, ft.data.seconds, ft.total.seconds);
            rawBlocks.Take(rb);
            rawBlocksThread.Take(rbt);
            fastData.Take(ft.data);
            fastTotal.Take(ft.total);
        }
        fmt::print("\n");
        std::fflush(stdout);
    }
    const double mib = o.mib;
    fmt::print("\n{} MiB image, {}-byte blocks, flintcast-devsim at scale 1.0, best of {} rounds\n", o.mib, kBlock,
               o.rounds);
    fmt::print("(ratios are to the raw copy whose device end is a process of its own, as the simulator is)\n");
    Print("raw frames + 9-byte replies", rawFrames.t, rawFrames.t, mib);
    Print("raw frames, device end in a thread", rawFramesThread.t, rawFrames.t, mib);
    Print("raw frames to the simulator", rawToDevice.t, rawFrames.t, mib);
    Print("stream writes (0x07)", writes.t, rawFrames.t, mib);
    if (o.fast) {
        Print("raw blocks + 9-byte replies", rawBlocks.t, rawBlocks.t, mib);
        Print("raw blocks, device end in a thread", rawBlocksThread.t, rawBlocks.t, mib);
        Print("fast transfer, data phase", fastData.t, rawBlocks.t, mib);
        Print("fast transfer, total with flash waits", fastTotal.t, rawBlocks.t, mib);
    }
    const bool ok = writes.t.ok && rawFrames.t.ok && (!o.fast || (fastTotal.t.ok && rawBlocks.t.ok));
    return ok ? 0 : 1;
}
