// NV backup throughput against flintcast-devsim at time scale 1.0: the default and LTE
// catalogues (over 1,000 items, one DIAG round trip each) next to the round-trip time of a
// single NV read request measured in the same run.
#include <chrono>
#include <cstdio>

#include "engine/nv_items.h"
#include "engine/nv_request_loop.h"
#include "engine/nv_requests.h"
#include "devkit/devsim_rig.h"

using namespace flintcast;
using Clock = std::chrono::steady_clock;

namespace {

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main() {
    flintcast::testing::DevsimRig sim("", 1.0);
    if (!sim.ready) {
        std::fprintf(stderr, "simulator did not start:\n%s\n", sim.log().c_str());
        return 1;
    }
    auto& w = sim.worker;
    w.config.lteType = "LTE";
    engine::NvItems nv(w.ctx);
    nv.SetBackupPaths((sim.backup() / "nv.bak").string(), (sim.backup() / "nv1.bak").string());
    nv.BuildNvLists();

    // Each run times one NV read request (item 141, which the device holds), repeated, and then
    // the whole backup; the best run of each counts, as the machine may be busy.
    constexpr int kRoundTrips = 200;
    constexpr int kRuns = 3;
    const auto request = engine::NvReadRequest(141);
    int answered = 0;
    double roundTripMs = 0;
    double best = 0;
    for (int run = 0; run < kRuns; ++run) {
        auto start = Clock::now();
        for (int i = 0; i < kRoundTrips; ++i) {
            answered += engine::RunNvRequest(w.ctx, request, engine::kNvReadRule, engine::AnswerItem{1, 141}).has_value();
        }
        const double rt = MsSince(start) / kRoundTrips;
        if (run == 0 || rt < roundTripMs) roundTripMs = rt;
        start = Clock::now();
        nv.BackupNvItems();
        const double ms = MsSince(start);
        if (run == 0 || ms < best) best = ms;
    }
    if (!w.reporter.ok() || answered != kRoundTrips * kRuns) {
        std::fprintf(stderr, "backup failed: %s\n", w.reporter.statusText().c_str());
        return 1;
    }
    const size_t items = nv.nvList().size();
    std::printf("NV read round trip:      %.3f ms (mean of %d, best of %d)\n", roundTripMs, kRoundTrips, kRuns);
    std::printf("NV backup, %zu items:  %.1f ms best of %d -> %.0f items/s (%.3f ms per item)\n", items, best, kRuns,
                static_cast<double>(items) * 1000.0 / best, best / static_cast<double>(items));
    return 0;
}
