#pragma once
// The worker's host for tests that need no discovery: each scan serves the next scripted port
// names, the presence check and the AT query answer as the test sets them, and the version the
// worker shows is kept.
#include <algorithm>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/device_directory.h"

namespace flintcast::testing {

class FakeDirectory : public engine::DeviceDirectory {
public:
    // Port names served in turn by successive scans; the last one stays.
    std::vector<std::string> diagTexts{""};
    std::vector<std::string> modemTexts{""};
    size_t scans = 0;
    // The presence check's answer; with presenceFollowsScan it is whether the port asked about
    // is the diagnostic port the scans now serve.
    bool samePort = true;
    bool presenceFollowsScan = false;
    std::optional<std::string> atReply = "SWK0046V1.4.0";
    int32_t fastbootResult = 259;
    bool modeSwitchSent = false;
    std::string versionLabel;

    // A host that finds nothing: no ports, no AT answer, no fastboot interface.
    static void MakeEmpty(FakeDirectory& d) {
        d.samePort = false;
        d.atReply.reset();
        d.fastbootResult = 2;
    }

    // Sets the diagnostic port every later scan finds (callable from a device thread).
    void MoveDiagPort(const std::string& port) {
        std::lock_guard lock(mutex_);
        diagTexts = {port};
    }

    void RescanPorts() override {
        std::lock_guard lock(mutex_);
        ++scans;
    }
    std::string FoundDiagPort() override { return pick(diagTexts); }
    std::string FoundModemPort() override { return pick(modemTexts); }
    bool IsSameDiagPort(std::string_view portName) override {
        return presenceFollowsScan ? portName == FoundDiagPort() : samePort;
    }
    std::optional<std::string> AtQuery(platform::SerialPort&, std::string_view) override { return atReply; }
    int32_t FindFastbootDevice(int, std::string&) override { return fastbootResult; }
    void ShowDeviceVersion(std::string_view text) override { versionLabel = std::string(text); }
    bool ModeSwitchSent() const override { return modeSwitchSent; }

private:
    std::mutex mutex_;

    std::string pick(const std::vector<std::string>& texts) {
        std::lock_guard lock(mutex_);
        if (texts.empty()) return {};
        const size_t i = scans == 0 ? 0 : std::min(scans - 1, texts.size() - 1);
        return texts[i];
    }
};

}  // namespace flintcast::testing
