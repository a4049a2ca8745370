#include "engine/fastboot_stage.h"

#include <filesystem>
#include <vector>

#include <fmt/format.h>

#include "engine/device_directory.h"
#include "engine/download_progress.h"
#include "engine/image_file_reader.h"

namespace flintcast::engine {
namespace {

size_t IndexOf(FastbootImage image) { return static_cast<size_t>(image); }

char Printable(uint8_t byte) { return byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.'; }

}  // namespace

bool FastbootSelection::any() const {
    for (bool s : selected) {
        if (s) return true;
    }
    return false;
}

FastbootSelection SelectionOf(const config::ProjectConfig& c) {
    FastbootSelection s;
    const auto set = [&s](FastbootImage image, bool selected, bool chunked) {
        s.selected[IndexOf(image)] = selected;
        s.chunked[IndexOf(image)] = chunked;
    };
    set(FastbootImage::Recovery, c.bFastbootRecoveryImage, c.bFastbootRecoveryImageMutil);
    set(FastbootImage::Boot, c.bFastbootBootImage, c.bFastbootBootImageMutil);
    set(FastbootImage::System, c.bFastbootSystemImage, c.bFastbootSystemImageMutil);
    set(FastbootImage::Userdata, c.bFastbootUserdataImage, c.bFastbootUserdataImageMutil);
    set(FastbootImage::Splash, c.bFastbootSplashImage, c.bFastbootSplashImageMutil);
    return s;
}

std::optional<std::string> FastbootImagesProblem(const FastbootSelection& selection, const ImageSet& images) {
    for (FastbootImage image : kFastbootImageOrder) {
        if (!selection.selected[IndexOf(image)]) continue;
        const FastbootImageRule& rule = RuleFor(image);
        const std::string& path = images.file(rule.slot).path;
        std::error_code ec;
        if (path.empty() || !std::filesystem::is_regular_file(path, ec)) {
            return fmt::format("The {} image is missing: {}", rule.partition, path.empty() ? "not staged" : path);
        }
        const uint64_t size = std::filesystem::file_size(path, ec);
        if (ec) return fmt::format("The {} image cannot be read: {}", rule.partition, path);
        if (size > kLargestDownload) {
            return fmt::format("The {} image {} is {} bytes: fastboot images of 4 GiB or more cannot be written",
                               rule.partition, FileNameOf(path), size);
        }
        if (selection.chunked[IndexOf(image)] && !PlanChunks(size, rule)) {
            return fmt::format("The {} image {} is {} bytes: more than {} chunks of {} bytes", rule.partition,
                               FileNameOf(path), size, rule.maxChunks, rule.chunkSize);
        }
    }
    return std::nullopt;
}

FastbootStage::FastbootStage(WorkerContext& ctx, DownloadProgress& progress, DeviceDirectory& directory,
                             const ImageSet& images, FastbootSelection selection, FastbootConnector connect)
    : ctx_(ctx),
      progress_(progress),
      directory_(directory),
      images_(images),
      selection_(selection),
      connect_(std::move(connect)) {}

FastbootStage::~FastbootStage() {
    if (link_) link_->Close();
}

void FastbootStage::Status(std::string_view text) { ctx_.reporter.ShowStatus(LineClass::Progress, text); }
void FastbootStage::Line(std::string_view text) { ctx_.reporter.ShowStatus(LineClass::Ordinary, text); }

// --- the stage --------------------------------------------------------------------------------

void FastbootStage::RunFastbootStage() {
    bool connected = false;
    for (int attempt = 0; attempt < kLookupAttempts && ok() && !connected; ++attempt) {
        ctx_.clock.sleepMs(kLookupPauseMs);
        std::string name;
        if (directory_.FindFastbootDevice(0, name) != 0 || !ok()) continue;
        connected = ConnectInterface(name);
        if (!connected && connectFailureLasting_) {
            ctx_.reporter.ShowError(fmt::format("Cannot find available interface. {}", connectError_), 0);
            return;
        }
    }
    if (!connected) {
        if (ok()) {
            if (!connectError_.empty()) Status(connectError_);
            ctx_.reporter.ShowError("Cannot find available interface.", 0);
        }
        return;
    }
    Line("Connect adb interface successfully");
    ctx_.clock.sleepMs(kStepPauseMs);
    if (!OpenEndpoints()) return;
    Line("initialization adb interface successfully");
    WriteImages();
    ctx_.clock.sleepMs(kStepPauseMs);
    if (ok() && SendContinue()) Line("Continue command successfully");
    if (ok() && ReceiveOkay()) Line("Reboot adb device successfully");
    if (ok() && CloseConnection()) Line("Close adb connection successfully");
}

void FastbootStage::RunFastbootOnly() {
    std::string name;
    if (directory_.FindFastbootDevice(ctx_.reporter.slotIndex(), name) != 0) {
        ctx_.reporter.ShowError("ADB interface Invalid", 0);
        return;
    }
    if (!ok()) return;
    if (!ConnectInterface(name)) {
        Status(connectError_);
        ctx_.reporter.ShowError("Connect adb interface failed.", 0);
        return;
    }
    Line("Connect adb interface successfully");
    ctx_.clock.sleepMs(kStepPauseMs);
    if (!OpenEndpoints()) return;
    Line("initialization adb interface successfully");
    WriteImages();
    ctx_.clock.sleepMs(kStepPauseMs);
    if (ok()) SendContinue();
    if (ok()) ReceiveOkay();
    if (ok() && CloseConnection()) Line("Close adb connection successfully");
}

void FastbootStage::WriteImages() {
    for (FastbootImage image : kFastbootImageOrder) {
        ctx_.clock.sleepMs(kStepPauseMs);
        if (!ok()) return;
        const FastbootImageRule& rule = RuleFor(image);
        if (!selection_.selected[IndexOf(image)]) {
            Line(fmt::format("No {}-----------", rule.partition));
            continue;
        }
        const std::string& file = images_.file(rule.slot).path;
        const bool written = selection_.chunked[IndexOf(image)] ? WriteInChunks(image, file) : WriteWhole(image, file);
        if (written && ok()) Line(fmt::format("Download {} successfully-----------", rule.partition));
    }
}

bool FastbootStage::WriteWhole(FastbootImage image, const std::string& file) {
    ImageFileReader probe;
    if (!probe.open(file)) {
        ctx_.reporter.ShowError(file, 0);
        return false;
    }
    const uint64_t size = probe.size();
    probe.close();
    if (size > kLargestDownload) {
        ctx_.reporter.ShowError(fmt::format("{} is too large for a fastboot download", FileNameOf(file)), 0);
        return false;
    }
    const auto length = static_cast<uint32_t>(size);
    return ok() && Handshake(length) && ok() && BulkWrite(file, length) && ok() && ReceiveOkay() && ok() &&
           SendFlashCommand(image) && ok() && ReceiveOkay();
}

bool FastbootStage::WriteInChunks(FastbootImage image, const std::string& file) {
    const FastbootImageRule& rule = RuleFor(image);
    ImageFileReader probe;
    if (!probe.open(file)) {
        ctx_.reporter.ShowError(file, 0);
        return false;
    }
    const auto chunks = PlanChunks(probe.size(), rule);
    probe.close();
    if (!chunks) {
        ctx_.reporter.ShowError(fmt::format("{} needs more than {} chunks", FileNameOf(file), rule.maxChunks), 0);
        return false;
    }
    for (size_t n = 0; n < chunks->size(); ++n) {
        const FastbootChunk& chunk = (*chunks)[n];
        const bool sent = ok() && Handshake(chunk.length) && ok() &&
                          BulkWriteChunk(file, chunk.length, rule.chunkSize, static_cast<uint32_t>(n)) && ok() &&
                          ReceiveOkay() && ok() && SendChunkFlashCommand(image, chunk.last) && ok() && ReceiveOkay();
        if (!sent) return false;
    }
    return true;
}

// --- the steps --------------------------------------------------------------------------------

bool FastbootStage::ConnectInterface(const std::string& name) {
    if (link_) {
        link_->Close();
        link_.reset();
    }
    FastbootConnection connection = connect_(name);
    connectError_ = connection.error;
    connectFailureLasting_ = connection.lasting;
    link_ = std::move(connection.transport);
    return link_ != nullptr;
}

bool FastbootStage::OpenEndpoints() {
    // The link's endpoints were opened with it; what is left is to make sure there is one.
    if (!link_) {
        ctx_.reporter.ShowError("Open default bulk write endpoint failed.", 0);
        return false;
    }
    Line("Open and initialize adb connection successfully");
    return true;
}

bool FastbootStage::SendCommand(std::string_view command, uint32_t timeoutMs) {
    size_t written = 0;
    const auto* bytes = reinterpret_cast<const uint8_t*>(command.data());
    return link_ && link_->Write({bytes, command.size()}, timeoutMs, written) && written == command.size();
}

bool FastbootStage::ReadReply(uint32_t timeoutMs, std::array<uint8_t, kReplyBytes>& buffer, size_t& got) {
    for (int info = 0; info <= kMaxInfoLines; ++info) {
        buffer.fill(0);
        got = 0;
        if (!link_ || !link_->Read(buffer, timeoutMs, got)) return false;
        const FastbootReply reply = ParseFastbootReply({buffer.data(), got});
        if (reply.kind != FastbootReply::Kind::Info) return true;
        // Bootloaders report progress of long operations this way before their answer.
        Status(fmt::format("INFO{}", reply.text));
        if (!ok()) return false;
    }
    return false;
}

bool FastbootStage::Handshake(uint32_t length) {
    Status("Image Hand shake Cmd.---");
    if (!SendCommand(DownloadCommand(length), kDownloadCommandTimeoutMs)) {
        if (link_) Status(link_->lastError());
        ctx_.reporter.ShowError("Send handshake command failed.", 0);
        return false;
    }
    std::array<uint8_t, kReplyBytes> buffer{};
    size_t got = 0;
    if (!ReadReply(kHandshakeReadTimeoutMs, buffer, got)) {
        if (link_) Status(link_->lastError());
        ctx_.reporter.ShowError("Receive handshake command failed.", 0);
        return false;
    }
    // The data may go only when the device said it takes exactly this many bytes: after a
    // FAIL it reads whatever comes next as commands.
    const FastbootReply reply = ParseFastbootReply({buffer.data(), got});
    if (reply.kind == FastbootReply::Kind::Fail) {
        ctx_.reporter.ShowError(fmt::format("Receive handshake command failed. FAIL{}", reply.text), 0);
        return false;
    }
    const auto accepted = DataReplyLength(reply);
    if (!accepted || *accepted != length) {
        ctx_.reporter.ShowError(
            fmt::format("Receive handshake command failed. Read value: {}", HexOfReply({buffer.data(), got})), 0);
        return false;
    }
    return true;
}

bool FastbootStage::BulkWrite(const std::string& file, uint32_t length) { return SendData(file, 0, length); }

bool FastbootStage::BulkWriteChunk(const std::string& file, uint32_t length, uint64_t chunkSize, uint32_t chunkIndex) {
    return SendData(file, chunkSize * chunkIndex, length);
}

bool FastbootStage::SendData(const std::string& file, uint64_t offset, uint32_t length) {
    const std::string name = FileNameOf(file);
    Status("ImageBulkWrite.");
    Status(name);
    ImageFileReader reader;
    if (!reader.open(file)) {
        ctx_.reporter.ShowError(file, 0);
        return false;
    }
    // The chunk starts `offset` bytes into the file; the bytes before it are not sent.
    if (offset > 0 && !reader.seek(offset)) {
        ctx_.reporter.ShowError(fmt::format("Could not read from BIN file: {}", name), 0);
        return false;
    }
    const uint32_t blocks = length / kBlockBytes + (length % kBlockBytes != 0 ? 1 : 0);
    ctx_.clock.sleepMs(2);
    Status(fmt::format("{} downloading.", name));
    std::array<uint8_t, kBlockBytes> block{};
    uint32_t left = length;
    for (uint32_t n = 0; n < blocks; ++n) {
        const auto want = static_cast<size_t>(std::min<uint32_t>(left, kBlockBytes));
        if (!reader.readFull(block.data(), want)) {
            ctx_.reporter.ShowError(fmt::format("Could not read from BIN file: {}", name), 0);
            return false;
        }
        progress_.add(static_cast<uint32_t>(want));
        size_t written = 0;
        const bool wrote = link_ && link_->Write({block.data(), want}, kBlockWriteTimeoutMs, written);
        if (!wrote) {
            Status(fmt::format("pAdbWriteEndpointSync F: {} {} {} {} {}", blocks, n, progress_.bytesSent(), want,
                               written));
            if (link_) Status(link_->lastError());
        }
        if (!wrote || written != want) {
            Status(fmt::format("ImageBulkWrite failure(retry): {} {}", name, n));
            // The device now holds part of an image it will not flash: the stage cannot go on.
            ctx_.reporter.ShowError(fmt::format("ImageBulkWrite failure: {} block {}", name, n), 0);
            return false;
        }
        left -= static_cast<uint32_t>(want);
        ShowGauge();
        if (!ok()) break;
    }
    ShowGauge();
    return true;
}

void FastbootStage::ShowGauge() {
    const auto position = static_cast<int32_t>(static_cast<float>(progress_.bytesSent()) * progress_.factor());
    if (position < gauge_) return;
    gauge_ = position;
    ctx_.reporter.SetProgress(position, DownloadProgress::kMaximum);
}

bool FastbootStage::ReceiveOkay() {
    Status("ReceiveOKEYReplay.");
    std::array<uint8_t, kReplyBytes> buffer{};
    size_t got = 0;
    const bool read = ReadReply(kOkayReadTimeoutMs, buffer, got);
    Status(fmt::format("pAdbReadEndpointSync {}: {} {} {}", read ? 'T' : 'F', Printable(buffer[0]),
                       Printable(buffer[1]), got));
    if (read && got >= 2 && buffer[0] == 'O' && buffer[1] == 'K') return true;
    if (!read && link_) Status(link_->lastError());
    std::string text = fmt::format("Could not read OKAY reply. Read value: {}", HexOfReply({buffer.data(), got}));
    const FastbootReply reply = ParseFastbootReply({buffer.data(), got});
    if (reply.kind == FastbootReply::Kind::Fail) text += fmt::format(" (FAIL{})", reply.text);
    ctx_.reporter.ShowError(text, 0);
    return false;
}

bool FastbootStage::SendFlashCommand(FastbootImage image) {
    const FastbootImageRule& rule = RuleFor(image);
    if (image == FastbootImage::System) Status("SystemImageWriteFinishedCmd.");
    if (SendCommand(FlashCommand(image), rule.flashTimeoutMs)) return true;
    ctx_.reporter.ShowError(rule.flashFailure, 0);
    return false;
}

bool FastbootStage::SendChunkFlashCommand(FastbootImage image, bool last) {
    if (SendCommand(ChunkFlashCommand(image, last), kChunkFlashTimeoutMs)) return true;
    ctx_.reporter.ShowError(RuleFor(image).chunkFlashFailure, 0);
    return false;
}

bool FastbootStage::SendContinue() {
    if (SendCommand(kContinueCommand, kContinueTimeoutMs)) return true;
    ctx_.reporter.ShowError("reboot device failure", 0);
    return false;
}

bool FastbootStage::CloseConnection() {
    if (!link_) return true;
    const bool closed = link_->Close();
    link_.reset();
    if (!closed) ctx_.reporter.ShowError("Close adb interface handle failure", 0);
    return closed;
}

}  // namespace flintcast::engine
