// Streaming throughput: a 32 MiB image written with 1,024-byte stream writes
// and with the fast transfer, against a raw copy of the same frames through a
// pseudo-terminal pair with the same block-and-reply pattern. Real time (scale
// 1.0), no throttle. Prints MB/s, the ratio to the raw copy and the tool's CPU
// seconds per MiB (the worker thread only; the device side runs on its own).
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fmt/format.h>

#include "engine/codec/hdlc.h"
#include "engine/download_progress.h"
#include "engine/streaming_download.h"
#include "tests/streaming/fake_device.h"

namespace {

using namespace flintcast;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kImageBytes = 32u << 20;
constexpr uint32_t kBlock = 1024;

double ThreadCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Result {
    double seconds;
    double cpu;
};

void Print(const char* name, const Result& r, double rawSeconds) {
    const double mib = kImageBytes / double(1 << 20);
    fmt::print("{:<34} {:8.2f} MB/s  ratio {:5.1f}%  tool CPU {:.4f} s/MiB\n", name,
               kImageBytes / r.seconds / 1e6, 100.0 * rawSeconds / r.seconds, r.cpu / mib);
}

Result StreamWrites(const testing::Bytes& image) {
    testing::DeviceBench bench(46, 1.0);
    engine::DownloadProgress progress(kImageBytes);
    engine::StreamingDownload streaming(bench.ctx, progress);
    const double cpu0 = ThreadCpuSeconds();
    const auto t0 = Clock::now();
    for (uint32_t at = 0; at < kImageBytes; at += kBlock) {
        if (streaming.StreamWrite(at, std::span(image).subspan(at, kBlock)) != 0) {
            fmt::print(stderr, "stream write failed at {}\n", at);
            break;
        }
    }
    return {std::chrono::duration<double>(Clock::now() - t0).count(), ThreadCpuSeconds() - cpu0};
}

Result FastTransfer(const testing::Bytes& image, double& fixedPauses) {
    testing::DeviceBench bench(46, 1.0);
    const auto path = bench.writeFile("amss.mbn", image);
    engine::DownloadProgress progress(kImageBytes);
    engine::StreamingDownload streaming(bench.ctx, progress);
    streaming.blockSize = kBlock;
    const double cpu0 = ThreadCpuSeconds();
    const auto t0 = Clock::now();
    if (!streaming.FastTransfer(path.string(), kImageBytes, 0)) fmt::print(stderr, "fast transfer failed\n");
    const Result r{std::chrono::duration<double>(Clock::now() - t0).count(), ThreadCpuSeconds() - cpu0};
    // The write-flash confirmation waits a fixed time per part before polling.
    fixedPauses = 0;
    for (uint32_t at = 0; at < kImageBytes; at += engine::StreamingDownload::kFastPartBytes) {
        const uint32_t length = std::min(engine::StreamingDownload::kFastPartBytes, kImageBytes - at);
        fixedPauses += engine::WriteFlashPollFor(length).initialPauseMs / 1000.0;
    }
    return r;
}

// The same frames written straight to the port, each followed by reading the 9-byte answer.
Result RawCopy(const testing::Bytes& image) {
    testing::DeviceBench bench(46, 1.0);
    const int fd = bench.serial.diag().fd();
    std::vector<testing::Bytes> frames;
    for (uint32_t at = 0; at < kImageBytes; at += kBlock) {
        testing::Bytes payload{0x07, uint8_t(at), uint8_t(at >> 8), uint8_t(at >> 16), uint8_t(at >> 24)};
        payload.insert(payload.end(), image.begin() + at, image.begin() + at + kBlock);
        frames.push_back(hdlc::EncodeFrame(payload, true));
    }
    const double cpu0 = ThreadCpuSeconds();
    const auto t0 = Clock::now();
    uint8_t reply[64];
    for (const auto& frame : frames) {
        for (size_t done = 0; done < frame.size();) {
            const ssize_t n = ::write(fd, frame.data() + done, frame.size() - done);
            if (n <= 0) return {};
            done += size_t(n);
        }
        for (size_t got = 0; got < 9;) {
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, 1000);
            const ssize_t n = ::read(fd, reply + got, sizeof reply - got);
            if (n <= 0) return {};
            got += size_t(n);
            if (got >= 9 && reply[got - 1] == 0x7E) break;
        }
    }
    return {std::chrono::duration<double>(Clock::now() - t0).count(), ThreadCpuSeconds() - cpu0};
}

}  // namespace

int main() {
    const auto image = testing::Pattern(kImageBytes, 7);
    const Result raw = RawCopy(image);
    const Result writes = StreamWrites(image);
    double pauses = 0;
    const Result fast = FastTransfer(image, pauses);
    fmt::print("32 MiB image, {}-byte blocks, scale 1.0\n", kBlock);
    Print("raw frames + 9-byte replies", raw, raw.seconds);
    Print("stream writes (0x07)", writes, raw.seconds);
    Print("fast transfer, total", fast, raw.seconds);
    Print("fast transfer, without flash waits", {fast.seconds - pauses, fast.cpu}, raw.seconds);
    fmt::print("(fast transfer total includes {:.0f} s of fixed write-flash waits)\n", pauses);
    return 0;
}
