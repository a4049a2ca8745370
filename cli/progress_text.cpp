#include "cli/progress_text.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace flintcast::cli {

std::string ByteText(uint64_t bytes) {
    if (bytes >= 1024ull * 1024 * 1024) return fmt::format("{:.1f} GiB", static_cast<double>(bytes) / (1 << 30));
    if (bytes >= 1024ull * 1024) return fmt::format("{:.1f} MiB", static_cast<double>(bytes) / (1 << 20));
    if (bytes >= 1024) return fmt::format("{} KiB", bytes / 1024);
    return fmt::format("{} B", bytes);
}

std::string DurationText(uint64_t ms) {
    const uint64_t seconds = ms / 1000;
    if (seconds >= 3600) return fmt::format("{}:{:02}:{:02}", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return fmt::format("{}:{:02}", seconds / 60, seconds % 60);
}

std::string PhaseLine(const std::string& title, controller::PhaseOutcome outcome, uint32_t elapsedMs) {
    using controller::PhaseOutcome;
    const char* mark = outcome == PhaseOutcome::Ok ? "\u2714" : outcome == PhaseOutcome::Failed ? "\u2718" : "\u25a0";
    return fmt::format("{} {:<40} {:<8}{:>7.1f} s", mark, title, controller::OutcomeName(outcome),
                       static_cast<double>(elapsedMs) / 1000.0);
}

std::string BarLine(const BarState& state, int barWidth) {
    const int percent = std::clamp(state.percent, 0, 100);
    const int filled = percent * barWidth / 100;
    std::string text = fmt::format("{:<28} [{}{}] {:3}%", state.title, std::string(static_cast<size_t>(filled), '#'),
                                   std::string(static_cast<size_t>(barWidth - filled), '.'), percent);
    if (state.bytesTotal > 0) {
        text += fmt::format("  {}/{}", ByteText(state.bytesDone), ByteText(state.bytesTotal));
    }
    if (state.bytesPerSecond > 0) {
        text += fmt::format("  {}/s", ByteText(static_cast<uint64_t>(state.bytesPerSecond)));
        if (state.bytesTotal > state.bytesDone) {
            const double left = static_cast<double>(state.bytesTotal - state.bytesDone) / state.bytesPerSecond;
            text += fmt::format("  {} left", DurationText(static_cast<uint64_t>(std::lround(left * 1000))));
        }
    }
    return text;
}

}  // namespace flintcast::cli
