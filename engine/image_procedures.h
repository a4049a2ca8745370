#pragma once
// The streaming stage: opens the session with the running flash programmer and
// writes every selected image, kind by kind in a fixed order, with its open
// request, its data (block writer or fast transfer) and its close.
#include <cstdint>
#include <string_view>

#include "engine/download_progress.h"
#include "engine/image_kinds.h"
#include "engine/image_set.h"
#include "engine/open_requests.h"
#include "engine/streaming_download.h"
#include "engine/worker_context.h"

namespace flintcast::engine {

// One open, write, close of an image with the texts and pauses of its step.
struct InstallStep {
    ImageKind kind;
    std::string_view openFailure;
    std::string_view closeFailure;
    std::string_view closeSuccess;  // empty: nothing posted
    uint32_t pauseBeforeOpenMs = 0;
    uint32_t pauseBeforeCloseMs = 0;
};

class ImageProcedures {
public:
    static constexpr uint32_t kStepPauseMs = 1000;

    ImageProcedures(WorkerContext& ctx, const ImageSet& images, DownloadProgress& progress,
                    StreamingDownload& streaming);

    // The whole stage; failures are latched with their texts.
    void RunStreamingStage();
    // The data phase of one image: the block writer, or the fast transfer.
    void WriteImage(ImageKind kind);
    // Open (with the kind's request), write, close.
    void Install(const InstallStep& step);

private:
    WorkerContext& ctx_;
    const ImageSet& images_;
    DownloadProgress& progress_;
    StreamingDownload& streaming_;

    bool checkBlockSize();
    // Reads a header file sent with an open request; false (latched) on a file failure.
    bool readHeader(ImageSlot slot, std::vector<uint8_t>& bytes);
    bool openImage(ImageKind kind, std::string_view openFailure);
    void writeBlocks(ImageKind kind);
    void fastTransfer(ImageKind kind);
    void pause(uint32_t ms);

    void bootloaderGroup();
    void amss();
    void dsp();
    void companion();
    void efs();
    void cfgdata();
};

// Builds the streaming protocol from the run's configuration and runs the stage.
void RunStreamingStage(WorkerContext& ctx, const ImageSet& images, DownloadProgress& progress);

}  // namespace flintcast::engine
