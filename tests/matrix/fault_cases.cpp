#include "tests/matrix/fault_cases.h"

#include <cstdlib>
#include <cstring>

#include <fmt/format.h>

namespace flintcast::testing {
namespace {

// Tool milliseconds: far beyond any reply limit of the tool, so the answer comes too late.
constexpr int kLateMs = 60000;

constexpr Fault kAllFaults[] = {Fault::DroppedReply, Fault::CorruptedReply, Fault::Refusal,     Fault::LateReply,
                                Fault::Unplug,       Fault::NeverReturns,   Fault::NewPortNames, Fault::StopPressed,
                                Fault::FolderUnwritable, Fault::DiskFull};

Point Request(std::string name, std::string group, std::string request, int nth, std::string line,
              std::string backupFile = {}) {
    Point p;
    p.name = std::move(name);
    p.group = std::move(group);
    p.request = std::move(request);
    p.nth = nth;
    p.line = std::move(line);
    p.backupFile = std::move(backupFile);
    return p;
}

Point WithReturn(Point p, std::string personality, int nth = 1) {
    p.returnPersonality = std::move(personality);
    p.returnNth = nth;
    return p;
}

Point WithLink(Point p, std::vector<std::pair<Fault, std::string>> rules) {
    p.linkRules = std::move(rules);
    return p;
}

// The points of the matrix's run, in the order the run reaches them.
std::vector<Point> BuildPoints() {
    std::vector<Point> points;
    // Discovery: the device check asks every port for the unit's software version.
    points.push_back(Request("discovery", "discovery", "AT+ZRVSW", 1, "Check......"));
    points.push_back(Request("opening (start AT list)", "opening", "AT+CFUN=5", 1, "Start succssfully"));
    points.push_back(Request("identity backup", "backup", "AT+ZRVSN=0,5", 1, "Read SN", "at.bak"));
    points.push_back(Request("NV backup", "backup", "diag.nv_read", 5, "Read UIT89", "nv.bak"));
    points.push_back(Request("RF NV backup", "backup", "diag.rf_nv_read", 3, "switch successfully", "nv1.bak"));
    points.push_back(Request("EFS backup", "backup", "diag.efs.read", 1, "Enum dir:", "EFS"));
    points.push_back(WithLink(Request("board-file backup", "backup", "", 1, "backup pull ", "ARM11"),
                              {{Fault::DroppedReply, "ignore:adb.recv"},
                               {Fault::Refusal, "refuse:adb.recv"},
                               {Fault::LateReply, fmt::format("delay-reply:adb={}@6", kLateMs)},
                               {Fault::Unplug, "disconnect-at:adb=4096"}}));
    points.push_back(WithReturn(Request("switch to download mode", "return", "diag.download", 1, "Backup succssfully"),
                                "download"));
    points.push_back(Request("bootloader (programmer upload)", "bootloader", "dmss.write", 2, "Sending 001"));
    points.push_back(WithReturn(Request("bootloader (programmer start)", "bootloader", "dmss.go", 1, "downloading D001"),
                                "programmer"));
    points.push_back(Request("streaming session", "images", "stream.partition_table", 1, "Security cmd"));
    const std::pair<const char*, const char*> images[] = {{"dbl", "Sending Dbl header"},
                                                          {"osbl", "Sending Osbl header"},
                                                          {"amss", "Downloading D003"},
                                                          {"dsp1", "Sending dsp1 header"},
                                                          {"dsp2", "Sending dsp2 header"},
                                                          {"apps EFS", "Sending Application EFS"}};
    for (int i = 0; i < 6; ++i) {
        Point p = Request(fmt::format("streamed image {} ({})", i + 1, images[i].first), "images", "stream.open", i + 1,
                          images[i].second);
        p.unplugRule = fmt::format("unplug-at:{}.2", i + 1);
        points.push_back(p);
    }
    {
        Point p = Request("fast transfer", "images", "stream.fast_block", 2, "");
        p.config = {{"DownloadItems/bFastSpeedDownload", "1"}};
        p.unplugRule = "unplug-at:3.2";
        points.push_back(p);
    }
    points.push_back(WithReturn(Request("reset into fastboot", "return", "stream.reset", 1, "Reset"), "fastboot"));
    points.push_back(WithLink(Request("fastboot image", "fastboot", "", 1, "Image Hand shake"),
                              {{Fault::DroppedReply, "drop-reply:fastboot@4"},
                               {Fault::CorruptedReply, "truncate-reply:fastboot@4"},
                               {Fault::Refusal, "refuse:fastboot.flash"},
                               {Fault::LateReply, fmt::format("delay-reply:fastboot={}@4", kLateMs)},
                               {Fault::Unplug, "disconnect-at:fastboot=4096"}}));
    points.push_back(WithReturn(WithLink(Request("fastboot continue and return", "return", "", 1, "Download system successfully"),
                                         {{Fault::DroppedReply, "ignore:fastboot.continue"},
                                          {Fault::Refusal, "refuse:fastboot.continue"}}),
                                "normal"));
    points.push_back(Request("EFS restore", "restore", "diag.efs.write", 1, "Downloading D030"));
    points.push_back(WithLink(Request("board-file restore", "restore", "", 1, "restore push "),
                              {{Fault::DroppedReply, "ignore:adb.send"},
                               {Fault::Refusal, "refuse:adb.send"},
                               {Fault::Unplug, "disconnect-at:adb=4096@2"}}));
    points.push_back(Request("NV restore", "restore", "diag.nv_write", 5, "Restore NV Start."));
    points.push_back(Request("RF NV restore", "restore", "diag.rf_nv_write", 3, "Restore NV......OK"));
    points.push_back(Request("identity restore", "restore", "AT+ZRVSN=1,", 1, "Restore SN"));
    points.push_back(Request("end AT list", "end", "AT+SFIRSTTIME", 1, "Restore UIT89"));
    return points;
}

std::string RequestRule(const Point& p, Fault fault) {
    for (const auto& [f, rule] : p.linkRules)
        if (f == fault) return rule;
    if (fault == Fault::Unplug && !p.unplugRule.empty()) return p.unplugRule;
    if (p.request.empty()) return {};
    const std::string at = fmt::format("@{}", p.nth);
    if (p.request.rfind("AT", 0) == 0) {
        switch (fault) {
        case Fault::DroppedReply: return "at-silence:" + p.request + at;
        case Fault::CorruptedReply: return "at-garble:" + p.request + at;
        case Fault::Refusal: return "at-error:" + p.request + at;
        case Fault::LateReply: return fmt::format("at-late:{}={}{}", p.request, kLateMs, at);
        case Fault::Unplug: return "at-unplug:" + p.request + at;
        default: return {};
        }
    }
    switch (fault) {
    case Fault::DroppedReply: return "drop-reply:" + p.request + at;
    case Fault::CorruptedReply: return "corrupt-crc:" + p.request + at;
    case Fault::Refusal: return "refuse:" + p.request + at;
    case Fault::LateReply: return fmt::format("delay-reply:{}={}{}", p.request, kLateMs, at);
    case Fault::Unplug: return "unplug-on:" + p.request + at;
    default: return {};
    }
}

// How `fault` is made at `p`, or nothing when it does not apply there.
std::optional<Injection> InjectionFor(const Point& p, Fault fault) {
    Injection in;
    switch (fault) {
    case Fault::NeverReturns:
    case Fault::NewPortNames:
        if (p.returnPersonality.empty()) return std::nullopt;
        in.simFaults = fmt::format("{}:{}@{}", fault == Fault::NeverReturns ? "no-return" : "shift-ports",
                                   p.returnPersonality, p.returnNth);
        return in;
    case Fault::StopPressed:
        if (p.line.empty()) return std::nullopt;
        in.action = HostAction::PressStop;
        return in;
    case Fault::FolderUnwritable:
        if (p.backupFile.empty()) return std::nullopt;
        in.action = HostAction::MakeReadOnly;
        return in;
    case Fault::DiskFull:
        if (p.backupFile.empty()) return std::nullopt;
        in.diskFull = true;
        return in;
    default:
        in.simFaults = RequestRule(p, fault);
        if (in.simFaults.empty()) return std::nullopt;
        return in;
    }
}

}  // namespace

const char* FaultName(Fault fault) {
    switch (fault) {
    case Fault::DroppedReply: return "dropped reply";
    case Fault::CorruptedReply: return "corrupted reply";
    case Fault::Refusal: return "refusal";
    case Fault::LateReply: return "late reply";
    case Fault::Unplug: return "unplug";
    case Fault::NeverReturns: return "never returns";
    case Fault::NewPortNames: return "new port names";
    case Fault::StopPressed: return "Stop pressed";
    case Fault::FolderUnwritable: return "backup folder unwritable";
    case Fault::DiskFull: return "disk full";
    }
    return "?";
}

const std::vector<Point>& MatrixPoints() {
    static const std::vector<Point> points = BuildPoints();
    return points;
}

std::vector<FaultCase> AllFaultCases() {
    std::vector<FaultCase> cases;
    for (const Point& p : MatrixPoints()) {
        for (Fault f : kAllFaults) {
            auto in = InjectionFor(p, f);
            if (!in) continue;
            const int number = static_cast<int>(cases.size()) + 1;
            cases.push_back(FaultCase{fmt::format("{}/{}", p.name, FaultName(f)), number, &p, f, std::move(*in)});
        }
    }
    return cases;
}

std::vector<FaultCase> RepresentativeFaultCases() {
    // Every fault kind and every part of the run at least once.
    static const char* const kChosen[] = {
        "discovery/dropped reply",
        "opening (start AT list)/refusal",
        "identity backup/corrupted reply",
        "identity backup/backup folder unwritable",
        "NV backup/disk full",
        "NV backup/late reply",
        "RF NV backup/corrupted reply",
        "EFS backup/Stop pressed",
        "board-file backup/refusal",
        "switch to download mode/never returns",
        "bootloader (programmer start)/corrupted reply",
        "streamed image 3 (amss)/refusal",
        "fast transfer/dropped reply",
        "reset into fastboot/new port names",
        "fastboot image/unplug",
        "EFS restore/Stop pressed",
        "NV restore/dropped reply",
        "RF NV restore/refusal",
        "identity restore/late reply",
        "end AT list/corrupted reply",
    };
    std::vector<FaultCase> chosen;
    for (auto& c : AllFaultCases()) {
        for (const char* id : kChosen)
            if (c.id == id) chosen.push_back(c);
    }
    return chosen;
}

std::vector<FaultCase> SelectedFaultCases() {
    const char* which = std::getenv("FLINTCAST_FAULT_MATRIX");
    if (which != nullptr && std::strcmp(which, "all") == 0) return AllFaultCases();
    return RepresentativeFaultCases();
}

}  // namespace flintcast::testing
