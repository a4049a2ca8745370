// A 200 MiB image written over the fastboot TCP link to flintcast-devsim at time scale 1.0, in
// the stage's 4,096-byte blocks and chunks, next to a raw loopback TCP copy of the same bytes
// with the same block pattern. Prints MB/s of each, their ratio, the tool's CPU seconds per
// MiB and its peak resident memory (the image is streamed from its file, never held whole).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include <fmt/format.h>

#include "controller/android_interfaces.h"
#include "engine/download_progress.h"
#include "engine/fastboot_stage.h"
#include "platform/child_process.h"
#include "devkit/worker_rig.h"

namespace {

namespace fs = std::filesystem;
using namespace flintcast;

constexpr uint64_t kImageBytes = 200ull * 1024 * 1024;

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double ThreadCpu() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void WriteImage(const fs::path& file) {
    std::ofstream out(file, std::ios::binary);
    std::vector<char> block(1 << 20);
    for (uint64_t at = 0; at < kImageBytes; at += block.size()) {
        for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((at + i) * 31 + ((at + i) >> 16));
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
}

// The same bytes read from the file and sent in 4,096-byte blocks to a loopback peer that
// reads and drops them.
double RawCopySeconds(const fs::path& file) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(listener, 1);
    socklen_t len = sizeof addr;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    std::thread peer([listener] {
        const int fd = ::accept(listener, nullptr, nullptr);
        std::vector<char> buffer(4096);
        while (::read(fd, buffer.data(), buffer.size()) > 0) {
        }
        ::close(fd);
    });
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    const double start = Now();
    std::FILE* in = std::fopen(file.c_str(), "rb");
    std::vector<char> block(4096);
    size_t n = 0;
    while ((n = std::fread(block.data(), 1, block.size(), in)) > 0) {
        for (size_t sent = 0; sent < n;) {
            const ssize_t w = ::send(fd, block.data() + sent, n - sent, MSG_NOSIGNAL);
            if (w <= 0) break;
            sent += static_cast<size_t>(w);
        }
    }
    std::fclose(in);
    ::shutdown(fd, SHUT_WR);
    peer.join();
    const double seconds = Now() - start;
    ::close(fd);
    ::close(listener);
    return seconds;
}

}  // namespace

int main() {
    testing::WorkerRig rig(46, 1.0);
    const fs::path root = rig.root.path() / "root";
    const fs::path state = rig.root.path() / "state";
    fs::create_directories(root);
    fs::create_directories(state);
    const fs::path image = rig.root.path() / "system.img";
    WriteImage(image);
    const fs::path profile = rig.root.path() / "unit.json";
    std::ofstream(profile) << R"({"base": "android", "fastboot": {"at_power_up": true, "info_lines": false}})";

    platform::ChildProcess sim;
    if (!sim.Start(fs::path(FLINTCAST_BIN_DIR) / "flintcast-devsim",
                   {"--root", root.string(), "--state", state.string(), "--profile", profile.string()},
                   rig.root.path() / "devsim.log")) {
        std::puts("cannot start flintcast-devsim");
        return 1;
    }
    std::string name;
    for (int i = 0; i < 500 && controller::FindAndroidInterface(root, controller::AndroidInterface::Fastboot, 0,
                                                                name) != 0;
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    engine::DownloadProgress progress(kImageBytes);
    engine::ImageSet images;
    engine::FastbootSelection selection;
    engine::FastbootStage stage(rig.ctx, progress, rig.directory, images, selection, [&rig](std::string_view link) {
        return engine::OpenFastbootTransport(rig.clock, link);
    });
    if (name.empty() || !stage.ConnectInterface(name)) {
        std::printf("no fastboot link: %s\n", stage.connectError().c_str());
        return 1;
    }
    const auto& rule = engine::RuleFor(engine::FastbootImage::System);
    const auto chunks = engine::PlanChunks(kImageBytes, rule);
    const double cpuStart = ThreadCpu();
    const double start = Now();
    bool ok = true;
    for (size_t n = 0; ok && n < chunks->size(); ++n) {
        const auto& c = (*chunks)[n];
        ok = stage.Handshake(c.length) &&
             stage.BulkWriteChunk(image.string(), c.length, rule.chunkSize, static_cast<uint32_t>(n)) &&
             stage.ReceiveOkay() && stage.SendChunkFlashCommand(engine::FastbootImage::System, c.last) &&
             stage.ReceiveOkay();
    }
    const double fastbootSeconds = Now() - start;
    const double cpu = ThreadCpu() - cpuStart;
    stage.CloseConnection();
    sim.Stop();
    if (!ok) {
        std::printf("fastboot transfer failed: %s\n", rig.reporter.statusText().c_str());
        return 1;
    }
    const double rawSeconds = RawCopySeconds(image);
    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    const double mib = static_cast<double>(kImageBytes) / (1024.0 * 1024.0);
    const double mb = static_cast<double>(kImageBytes) / 1e6;
    std::printf("fastboot TCP link to flintcast-devsim: %.1f MB/s (%.2f s, %zu chunks, flashing included)\n",
                mb / fastbootSeconds, fastbootSeconds, chunks->size());
    std::printf("raw loopback TCP copy, same 4096-byte blocks: %.1f MB/s (%.2f s)\n", mb / rawSeconds, rawSeconds);
    std::printf("ratio fastboot/raw: %.1f%%\n", 100.0 * rawSeconds / fastbootSeconds);
    std::printf("tool CPU: %.4f s per MiB\n", cpu / mib);
    std::printf("tool peak resident memory: %.1f MiB\n", static_cast<double>(self.ru_maxrss) / 1024.0);
    return 0;
}
