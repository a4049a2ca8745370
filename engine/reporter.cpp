#include "engine/reporter.h"

#include <cerrno>
#include <utility>

#include <fmt/format.h>

namespace flintcast::engine {

Reporter::Reporter(int32_t slotIndex, ReporterHooks hooks) : slotIndex_(slotIndex), hooks_(std::move(hooks)) {}

void Reporter::setStatusText(std::string text) {
    std::lock_guard lock(textMutex_);
    statusText_ = std::move(text);
}

std::string Reporter::statusText() const {
    std::lock_guard lock(textMutex_);
    return statusText_;
}

void Reporter::ShowStatus(int32_t code, std::string_view text, int32_t kind) {
    std::string line(text);
    setStatusText(line);
    if (hooks_.OnStatus) hooks_.OnStatus(slotIndex_, code, kind, line);
}

void Reporter::ShowStatus(LineClass lineClass, std::string_view text) {
    const LinePair pair = PairOf(lineClass);
    ShowStatus(pair.code, text, pair.kind);
}

void Reporter::ShowError(std::string_view text) {
    const int systemError = errno;  // first, before anything here can change it
    ShowError(text, systemError);
}

void Reporter::ShowError(std::string_view text, int systemError) {
    // Only the first error of a run is latched and shown. The swap is a
    // compare-exchange so a stop request arriving at the same moment is kept.
    int32_t expected = 0;
    const int32_t latched = systemError != 0 ? systemError : kErrorWithoutSystemCode;
    if (errorCode.compare_exchange_strong(expected, latched)) {
        std::string line = fmt::format("ERROR, {}, Error code: {}", text, systemError);
        setStatusText(line);
        if (hooks_.OnErrorText) hooks_.OnErrorText(slotIndex_, line);
    }
    if (commErrorClearer_) commErrorClearer_();
}

void Reporter::BeginRun() {
    setStatusText({});
    errorCode.store(0);
}

void Reporter::SetProgress(int32_t position, int32_t maximum) {
    if (hooks_.OnProgress) hooks_.OnProgress(slotIndex_, position, maximum);
}

void Reporter::NotifyEnd() {
    if (hooks_.OnEnd) hooks_.OnEnd(slotIndex_);
}

}  // namespace flintcast::engine
