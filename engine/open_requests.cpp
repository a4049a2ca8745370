#include "engine/open_requests.h"

namespace flintcast::engine {

CompanionRequest CompanionRequestFor(int32_t project, bool resImage) {
    if (UsesFtlCompanion(project)) return CompanionRequest::Ftl;
    if (UsesCompanionType20(project)) return CompanionRequest::Type20;
    if (resImage) return CompanionRequest::Resource;
    if (UsesNewPcSuiteRequest(project)) return CompanionRequest::NewPcSuite;
    return CompanionRequest::PcSuite;
}

std::string_view CompanionOpenFailure(CompanionRequest request) {
    switch (request) {
        case CompanionRequest::Ftl:
        case CompanionRequest::Type20: return "[Dload] Fail to send image file download request";
        case CompanionRequest::Resource: return "[Dload] Fail to send resource file download request";
        case CompanionRequest::NewPcSuite: return "[Dload] Fail to send New PCSuite file download request.";
        case CompanionRequest::PcSuite: return "[Dload] Fail to send PCSuite file download request";
    }
    return "[Dload] Fail to send PCSuite file download request";
}

namespace {

// Names travel with their terminating zero byte.
std::string WithZero(std::string_view name) { return std::string(name) + '\0'; }

OpenRequest CompanionOpen(int32_t project, bool resImage) {
    constexpr std::string_view kNewRequest = "Sending image file download new request...";
    switch (CompanionRequestFor(project, resImage)) {
        case CompanionRequest::Ftl: return {0x0E, std::nullopt, WithZero("0:FTL"), kNewRequest};
        case CompanionRequest::Type20: return {0x20, std::nullopt, "", kNewRequest};
        case CompanionRequest::Resource: return {0x0E, std::nullopt, WithZero("0:USEDOWNLOAD"), kNewRequest};
        case CompanionRequest::NewPcSuite: return {0x81, std::nullopt, "", "Sending 004......"};
        case CompanionRequest::PcSuite: return {0x10, std::nullopt, "", "Sending 004......"};
    }
    return {0x10, std::nullopt, "", "Sending 004......"};
}

}  // namespace

OpenRequest OpenRequestFor(ImageKind kind, int32_t project, bool resImage) {
    switch (kind) {
        case ImageKind::QcsblHeader: return {0x02, std::nullopt, "", "Sending 005......"};
        case ImageKind::Qcsbl: return {0x03, std::nullopt, "", "Sending 006......"};
        case ImageKind::Oemsbl: return {0x04, ImageSlot::OemsblHeader, "", "Sending 008......"};
        case ImageKind::Amss:
            if (UsesBootStageImages(project)) {
                return {0x05, std::nullopt, "", "Sending Dbl header download request..."};
            }
            return {0x05, ImageSlot::AmssHeader, "", "Sending 002......"};
        case ImageKind::AppsImage: return {0x06, ImageSlot::AppsHeader, "", "Sending Apps image Header..."};
        case ImageKind::Efs: return {0x09, std::nullopt, "", "Sending 003......"};
        case ImageKind::ModemEfs: return {0x09, std::nullopt, "", "Sending Modem EFS file download request..."};
        case ImageKind::AppsBootloader:
            return {0x0A, ImageSlot::AppsBootHeader, "", "Sending Apps bootloader Header..."};
        case ImageKind::AppEfs: return {0x0B, std::nullopt, "", "Sending Application EFS file download request..."};
        case ImageKind::Dsp1: return {0x0D, std::nullopt, "", "Sending dsp1 header download request..."};
        case ImageKind::Companion: return CompanionOpen(project, resImage);
        case ImageKind::Dbl: return {0x0F, std::nullopt, "", "Sending Dbl header download request..."};
        case ImageKind::Osbl: return {0x10, std::nullopt, "", "Sending Osbl header download request..."};
        case ImageKind::Fsbl: return {0x11, std::nullopt, "", "Sending Fsbl header download request..."};
        case ImageKind::Dsp2: return {0x12, std::nullopt, "", "Sending dsp2 header download request..."};
        case ImageKind::RawAppsEfs: return {0x13, std::nullopt, "", "Sending RawApps EFS file download request..."};
        case ImageKind::Cfgdata: return {0x80, std::nullopt, "", "Sending download cfgdata ....."};
        case ImageKind::PhoneImage: break;  // written without an open request
    }
    return {};
}

ImageSlot FileSlotOf(ImageKind kind) {
    switch (kind) {
        case ImageKind::Amss: return ImageSlot::Amss;
        case ImageKind::PhoneImage: return ImageSlot::PhoneImage;
        case ImageKind::AppsImage: return ImageSlot::Apps;
        case ImageKind::AppsBootloader: return ImageSlot::AppsBoot;
        case ImageKind::Efs: return ImageSlot::Efs;
        case ImageKind::AppEfs: return ImageSlot::AppsEfs;
        case ImageKind::ModemEfs: return ImageSlot::CompactEfs;
        case ImageKind::RawAppsEfs: return ImageSlot::RawAppsEfs;
        case ImageKind::Companion: return ImageSlot::PcSuite;
        case ImageKind::Cfgdata: return ImageSlot::Cfgdata;
        case ImageKind::Fsbl: return ImageSlot::Fsbl;
        case ImageKind::Osbl: return ImageSlot::Osbl;
        case ImageKind::Dbl: return ImageSlot::Dbl;
        case ImageKind::QcsblHeader: return ImageSlot::QcsblHeader;
        case ImageKind::Qcsbl: return ImageSlot::Qcsbl;
        case ImageKind::Oemsbl: return ImageSlot::Oemsbl;
        case ImageKind::Dsp1: return ImageSlot::Dsp1;
        case ImageKind::Dsp2: return ImageSlot::Dsp2;
    }
    return ImageSlot::Amss;
}

}  // namespace flintcast::engine
