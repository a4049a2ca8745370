#pragma once
// The running count of image bytes sent and the slot's progress bar. The bar's
// maximum is 100; while images are written its position is the count times
// 99 / total, so it never reaches 100 before the run passes.
#include <cstdint>

#include "engine/reporter.h"

namespace flintcast::engine {

class DownloadProgress {
public:
    static constexpr int32_t kMaximum = 100;

    explicit DownloadProgress(uint64_t totalImageBytes = 0) { setTotal(totalImageBytes); }

    void setTotal(uint64_t totalImageBytes) {
        factor_ = totalImageBytes == 0 ? 99.0f : 99.0f / static_cast<float>(totalImageBytes);
    }
    float factor() const { return factor_; }
    uint32_t bytesSent() const { return bytesSent_; }
    void reset() { bytesSent_ = 0; }
    void setBytesSent(uint32_t bytes) { bytesSent_ = bytes; }

    // Counts `bytes` as sent.
    void add(uint32_t bytes) { bytesSent_ += bytes; }
    // Sets the bar to the count times the factor, truncated.
    void show(Reporter& reporter) const {
        reporter.SetProgress(static_cast<int32_t>(static_cast<float>(bytesSent_) * factor_), kMaximum);
    }

private:
    uint32_t bytesSent_ = 0;
    float factor_ = 99.0f;
};

}  // namespace flintcast::engine
