#include "engine/image_procedures.h"

#include <algorithm>
#include <fmt/format.h>
#include <vector>

#include "config/project_config.h"
#include "config/project_traits.h"
#include "engine/image_file_reader.h"
#include "engine/streaming_messages.h"

namespace flintcast::engine {
namespace {

struct FileTexts {
    std::string_view open, read, close;
};

FileTexts FileTextsFor(FileLabel label) {
    switch (label) {
        case FileLabel::Dsp1:
            return {"Could not open DSP1 file: ", "Could not read from DSP1 file: ", "Could not close DSP1 file: "};
        case FileLabel::Dsp2:
            return {"Could not open DSP2 file: ", "Could not read from DSP2 file: ", "Could not close DSP2 file: "};
        case FileLabel::Bin: break;
    }
    return {"Could not open BIN file: ", "Could not read from BIN file: ", "Could not close BIN file: "};
}

// The applications image and its bootloader name an empty read with their own text.
std::string_view EmptyReadText(ImageKind kind, const FileTexts& texts) {
    if (kind == ImageKind::AppsImage) return "Could not read from Apps Image file: ";
    if (kind == ImageKind::AppsBootloader) return "Could not read from AMSS file: ";
    return texts.read;
}

}  // namespace

ImageProcedures::ImageProcedures(WorkerContext& ctx, const ImageSet& images, DownloadProgress& progress,
                                 StreamingDownload& streaming)
    : ctx_(ctx), images_(images), progress_(progress), streaming_(streaming) {}

void ImageProcedures::pause(uint32_t ms) {
    if (ms > 0 && ctx_.ok()) ctx_.clock.sleepMs(ms);
}

bool ImageProcedures::checkBlockSize() {
    // A block size the transfer cannot carry would overflow the outgoing frame
    // (or divide by zero); refuse it before anything is written.
    const uint32_t limit = streaming_.fastSpeed ? streaming::kMaxFastBlock : streaming::kMaxStreamWriteBlock;
    const int32_t configured = ctx_.config.blockSize;
    const bool used = streaming_.fastSpeed || !UsesSmallBlocks(ctx_.projectType);
    if (!used || (configured > 0 && static_cast<uint32_t>(configured) <= limit)) return true;
    ctx_.reporter.ShowError(fmt::format("BlockSize error: {}", configured));
    return false;
}

bool ImageProcedures::readHeader(ImageSlot slot, std::vector<uint8_t>& bytes) {
    auto& reporter = ctx_.reporter;
    const std::string& path = images_.file(slot).path;
    ImageFileReader file;
    if (!file.open(path)) {
        reporter.ShowError("Could not open BIN file: " + path);
        return false;
    }
    if (file.size() == 0 || file.size() > streaming::kMaxTableFileBytes) {
        reporter.ShowError("BIN file length error: " + path);
        return false;
    }
    bytes.resize(static_cast<size_t>(file.size()));
    if (!file.readFull(bytes.data(), bytes.size())) {
        reporter.ShowError("Could not read from BIN file: " + path);
        return false;
    }
    if (!file.close()) {
        reporter.ShowError("Could not close BIN file: " + path);
        return false;
    }
    return true;
}

bool ImageProcedures::openImage(ImageKind kind, std::string_view openFailure) {
    const OpenRequest request = OpenRequestFor(kind, ctx_.projectType, ctx_.config.bResImage);
    ctx_.reporter.ShowStatus(LineClass::Progress, request.statusText);
    std::vector<uint8_t> extra(request.name.begin(), request.name.end());
    if (request.header && !readHeader(*request.header, extra)) return false;
    if (!ctx_.ok()) return false;
    if (streaming_.OpenImage(request.type, extra) != 0) {
        ctx_.reporter.ShowError(openFailure);
        return false;
    }
    return ctx_.ok();
}

void ImageProcedures::Install(const InstallStep& step) {
    if (!ctx_.ok()) return;
    pause(step.pauseBeforeOpenMs);
    if (!openImage(step.kind, step.openFailure)) return;
    WriteImage(step.kind);
    if (!ctx_.ok()) return;
    pause(step.pauseBeforeCloseMs);
    if (!ctx_.ok()) return;
    if (streaming_.CloseImage() != 0) return ctx_.reporter.ShowError(step.closeFailure);
    if (!step.closeSuccess.empty()) ctx_.reporter.ShowStatus(LineClass::Progress, step.closeSuccess);
}

void ImageProcedures::WriteImage(ImageKind kind) {
    if (!ctx_.ok()) return;
    if (streaming_.fastSpeed) {
        fastTransfer(kind);
    } else {
        writeBlocks(kind);
    }
}

void ImageProcedures::fastTransfer(ImageKind kind) {
    const ImageKindInfo& info = InfoFor(kind);
    const std::string& path = images_.file(FileSlotOf(kind)).path;
    ctx_.reporter.ShowStatus(LineClass::Progress, info.fastText);
    ImageFileReader file;
    if (!file.open(path)) return ctx_.reporter.ShowError(std::string(FileTextsFor(info.fileLabel).open) + path);
    // An empty image has nothing to send: it fails like a block writer's first read.
    if (file.size() == 0) return ctx_.reporter.ShowError(std::string(FileTextsFor(info.fileLabel).read) + path);
    if (file.size() > UINT32_MAX) return ctx_.reporter.ShowError("BIN file length error: " + path);
    const auto size = static_cast<uint32_t>(file.size());
    file.close();
    const uint16_t checkValue = images_.crc.at(static_cast<size_t>(CheckValueSlot(kind, ctx_.projectType)));
    streaming_.FastTransfer(path, size, checkValue);
}

void ImageProcedures::writeBlocks(ImageKind kind) {
    auto& reporter = ctx_.reporter;
    const ImageKindInfo& info = InfoFor(kind);
    const FileTexts texts = FileTextsFor(info.fileLabel);
    const std::string& path = images_.file(FileSlotOf(kind)).path;
    const std::string name = FileNameOf(path);

    reporter.ShowStatus(LineClass::Progress, info.startText);
    ImageFileReader file;
    if (!file.open(path)) return reporter.ShowError(std::string(texts.open) + path);
    if (file.size() > UINT32_MAX) return reporter.ShowError("BIN file length error: " + path);
    const auto size = static_cast<uint32_t>(file.size());
    const uint32_t blockSize = BlockSizeFor(kind, ctx_.projectType, static_cast<uint32_t>(ctx_.config.blockSize));
    const uint32_t blocks = size / blockSize + (size % blockSize ? 1 : 0);
    pause(info.pauseAfterOpenMs);
    if (info.form == MessageForm::Counted) {
        reporter.ShowStatus(LineClass::Progress, fmt::format("{} downloading, {} blocks", name, UnitsOf64(blocks)));
    } else if (!info.openedText.empty()) {
        reporter.ShowStatus(LineClass::Progress, info.openedText);
    }

    std::vector<uint8_t> buffer(blockSize);
    uint32_t address = 0;
    // An empty image fails like a read that brings nothing: writing nothing
    // must not pass for a written image.
    if (size == 0) reporter.ShowError(std::string(EmptyReadText(kind, texts)) + path);
    for (uint32_t index = 0; index < blocks && ctx_.ok(); ++index) {
        const uint32_t want = std::min(blockSize, size - address);
        const size_t got = file.read(buffer.data(), want);
        if (got == 0) {
            reporter.ShowError(std::string(EmptyReadText(kind, texts)) + path);
            break;
        }
        if (got != want) {
            reporter.ShowError(std::string(texts.read) + path);
            break;
        }
        progress_.add(want);
        bool written = false;
        for (int attempt = 0; attempt < 3 && ctx_.ok(); ++attempt) {
            if (streaming_.StreamWrite(address, std::span(buffer.data(), want)) == 0) {
                progress_.show(reporter);
                written = true;
                break;
            }
            if (!ctx_.ok()) break;
            if (info.form == MessageForm::Counted) {
                reporter.ShowStatus(LineClass::Progress, fmt::format("{}, re-sending block {} of {}", name,
                                                                     UnitsOf64(index + 1), UnitsOf64(blocks)));
            } else {
                reporter.ShowStatus(LineClass::Progress, info.failedBlockText);
            }
        }
        if (!written) {
            reporter.ShowError(fmt::format("{}, fail to write block {} of {}", name, UnitsOf64(index + 1),
                                           UnitsOf64(blocks)));
            break;
        }
        address += want;
        if (want < blockSize) break;
    }
    if (!file.close()) reporter.ShowError(std::string(texts.close) + path);
}

void ImageProcedures::bootloaderGroup() {
    const auto& cfg = ctx_.config;
    if (UsesBootStageImages(ctx_.projectType)) {
        if (cfg.bdbl) {
            Install({ImageKind::Dbl, "[Dload] Fail to send Dbl header file download request",
                     "[Dload] Fail to close bootloader file packet(Dbl)", "[Dload] Bootloader file download over(Dbl)"});
        }
        if (cfg.bfsbl) {
            Install({ImageKind::Fsbl, "[Dload] Fail to send Fsbl header file download request",
                     "[Dload] Fail to close bootloader file packet(Fsbl)",
                     "[Dload] Bootloader file download over(Fsbl)"});
        }
        if (cfg.bosbl) {
            Install({ImageKind::Osbl, "[Dload] Fail to send Osbl header file download request",
                     "[Dload] Fail to close bootloader file packet(Osbl)",
                     "[Dload] Bootloader file download over(Osbl)"});
        }
        return;
    }
    Install({ImageKind::QcsblHeader, "[Dload] Fail to send Qcsbl header file download request",
             "[Dload] Fail to close bootloader file packet(Qchd)", "Downdoad file......"});
    Install({ImageKind::Qcsbl, "[Dload] Fail to send Qcsbl file download request",
             "[Dload] Fail to close bootloader file packet(Qc)", "Download file P001......."});
    Install({ImageKind::Oemsbl, "[Dload] Fail to send Oemsbl file download request",
             "[Dload] Fail to close bootloader file packet(Oem、hOem)", "Download file P002......", 0, kStepPauseMs});
    if (ctx_.ok()) ctx_.reporter.ShowStatus(LineClass::Ordinary, "Bootloader succssfully");
}

void ImageProcedures::amss() {
    const std::string_view openFailure = UsesBootStageImages(ctx_.projectType)
                                             ? "[Dload] Fail to send AMSS command."
                                             : "[Dload] Fail to send AMSS header file";
    Install({ImageKind::Amss, openFailure, "[Dload] Fail to close AMSS file packet", "Download file P003......",
             kStepPauseMs, kStepPauseMs});
    if (ctx_.ok()) ctx_.reporter.ShowStatus(LineClass::Ordinary, "AMSSFile succssfully");
}

void ImageProcedures::dsp() {
    for (ImageKind kind : {ImageKind::Dsp1, ImageKind::Dsp2}) {
        Install({kind, "[Dload] Fail to send DSP1 command.", "[Dload] Fail to close DSP1 file packet",
                 "[Dload] DSP1 file download over", kStepPauseMs, kStepPauseMs});
    }
}

void ImageProcedures::companion() {
    const auto request = CompanionRequestFor(ctx_.projectType, ctx_.config.bResImage);
    Install({ImageKind::Companion, CompanionOpenFailure(request), "[Dload] Fail to close image file packet",
             "Download file P004......", kStepPauseMs, kStepPauseMs});
    if (ctx_.ok()) ctx_.reporter.ShowStatus(LineClass::Ordinary, "PCSuite succssfully");
}

void ImageProcedures::efs() {
    const InstallStep appEfs{ImageKind::AppEfs, "[Dload] Fail to send Application EFS file download request",
                             "[Dload] Fail to close Applicaton EFS file packet",
                             "[Dload] Applicaton EFS file download over", kStepPauseMs, kStepPauseMs};
    if (config::UsesCompactEfsPair(ctx_.projectType)) {
        Install(appEfs);
        Install({ImageKind::ModemEfs, "[Dload] Fail to send Modem EFS file download request",
                 "[Dload] Fail to close Modem EFS file packet", "[Dload] Modem EFS file download over", kStepPauseMs,
                 kStepPauseMs});
    } else if (config::UsesAppsEfsOnly(ctx_.projectType)) {
        Install(appEfs);
    } else {
        Install({ImageKind::Efs, "[Dload] Fail to send EFS file download request",
                 "[Dload] Fail to close EFS file packet", "Download file P005......", kStepPauseMs, kStepPauseMs});
    }
}

void ImageProcedures::cfgdata() {
    Install({ImageKind::Cfgdata, "Fail to send cfgdata file cmd", "[Dload] Fail to close image file packet",
             "Cfgdata download over", 0, kStepPauseMs});
    if (ctx_.ok()) ctx_.reporter.ShowStatus(LineClass::Ordinary, "Cfgdata succssfully");
}

void ImageProcedures::RunStreamingStage() {
    const auto& cfg = ctx_.config;
    if (!ctx_.ok() || !checkBlockSize()) return;
    streaming_.OpenSession();
    const InstallStep appsBootloader{ImageKind::AppsBootloader, "[Dload] Fail to send Apps bootloader header file",
                                     "[Dload] Fail to close Apps bootloader file packet", ""};
    if (cfg.bBootloader && ctx_.ok()) bootloaderGroup();
    if (cfg.bAMSSFile && ctx_.ok()) amss();
    if (cfg.bDSP && config::WritesDsp(ctx_.projectType) && ctx_.ok()) dsp();
    if (cfg.bPhoneImage && ctx_.ok()) WriteImage(ImageKind::PhoneImage);
    if (cfg.bAppsBootloader && ctx_.ok()) Install(appsBootloader);
    if (cfg.bAppsImageAndBootloader && ctx_.ok()) {
        Install({ImageKind::AppsImage, "[Dload] Fail to send Apps image header file",
                 "[Dload] Fail to close Apps image file packet", "[Dload] Apps image file download over"});
        Install(appsBootloader);
    }
    if ((cfg.bCDROM || cfg.bDISK || cfg.bResImage) && ctx_.ok()) companion();
    if (cfg.bRawAppsEFS && ctx_.ok()) {
        Install({ImageKind::RawAppsEfs, "[Dload] Fail to send RawApps EFS file download request",
                 "[Dload] Fail to close RawApps EFS file packet", "[Dload] RawApps EFS file download over"});
    }
    if (cfg.bEFS && ctx_.ok()) efs();
    if (cfg.bCfgdata && ctx_.ok()) cfgdata();
}

void RunStreamingStage(WorkerContext& ctx, const ImageSet& images, DownloadProgress& progress) {
    StreamingDownload streaming(ctx, progress);
    streaming.blockSize = ctx.config.blockSize > 0 ? static_cast<uint32_t>(ctx.config.blockSize) : 0;
    streaming.fastSpeed = ctx.config.bFastSpeedDownload;
    streaming.fastbootImagesSelected = ctx.config.anyFastbootImage();
    streaming.partitionTablePath = images.file(ImageSlot::Partition).path;
    ImageProcedures(ctx, images, progress, streaming).RunStreamingStage();
}

}  // namespace flintcast::engine
