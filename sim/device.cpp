#include "sim/device.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <stdexcept>
#include <system_error>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "sim/protocols/scsi_disk.h"
#include "sim/state_file.h"
#include "sim/text_util.h"

namespace flintcast::sim {
namespace fs = std::filesystem;
namespace {

constexpr size_t kReadChunk = 64 * 1024;
// The state file follows bursts of protocol traffic at most this often (real time, it only
// bounds the cost of rewriting the file); personality changes are written at once.
constexpr auto kStateWriteInterval = std::chrono::milliseconds(100);
// How often the loop wakes without traffic (device time), to run timers.
constexpr uint32_t kLoopTickMs = 1000;
// How long a port that leaves after a reset keeps an unread reply for its client (device time);
// the same limit as a reply the client stops reading.
constexpr uint32_t kLastReplyLimitMs = 5000;
// While a port is leaving, the loop looks this often (real time) whether its reply was read.
constexpr int kLeavingCheckMs = 2;

Personality EnginePersonality(PortRole role) {
    switch (role) {
        case PortRole::Download: return Personality::Download;
        case PortRole::Programmer: return Personality::Programmer;
        default: return Personality::Diagnostic;
    }
}

bool IsBinaryRole(PortRole role) {
    return role == PortRole::Diag || role == PortRole::Download || role == PortRole::Programmer;
}

void SetNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

bool TickReached(uint32_t now, uint32_t due) { return static_cast<int32_t>(now - due) >= 0; }

const fs::path& CreatedFolder(const fs::path& folder) {
    fs::create_directories(folder);
    return folder;
}

// What the unit shows in its disk personality: the disk that carries its driver installer.
StorageFunction ModemDisk() { return {StorageKind::Disk, true, kModemDiskVendor, kModemDiskModel}; }

size_t TtyCount(const UsbLayout& layout) {
    return static_cast<size_t>(std::count_if(layout.interfaces.begin(), layout.interfaces.end(),
                                             [](const InterfaceSpec& s) { return !IsUsbFunctionRole(s.role); }));
}

// The identity values a unit keeps in its NV memory: an EFS image leaves them blank.
IdentityValues WipedIdentity(IdentityValues values) {
    for (const char* key : {"sn", "imei_1", "imei", "esn", "meid", "bluetooth", "sales_count", "sales_info",
                            "wifi_cal", "testinf", "uit87", "uit89"}) {
        values[key].clear();
    }
    return values;
}

}  // namespace

const char* DeviceStatusName(Device::Status status) {
    switch (status) {
        case Device::Status::Present: return "present";
        case Device::Status::Reenumerating: return "reenumerating";
        case Device::Status::Unplugged: return "unplugged";
        case Device::Status::Crashed: return "crashed";
    }
    return "unknown";
}

Device::Device(Profile profile, fs::path root, fs::path stateFolder, platform::Clock& clock)
    : profile_(std::move(profile)),
      stateFolder_(std::move(stateFolder)),
      clock_(clock),
      tree_(root),
      hooks_(faults_),
      writer_(faults_, clock_),
      model_(CreatedFolder(stateFolder_)) {
    fs::create_directories(root);
    tree_.RemoveStale();
    android_ = std::make_unique<AndroidUnit>(profile_, stateFolder_, faults_, &hooks_, writer_, clock_);
    control_ = std::make_unique<ControlServer>(root);
    modem_.echo = profile_.echo;
    modem_.usbMode = profile_.usbMode;
    modem_.identity = profile_.identity;
    // Identity values written by an earlier session survive a restart of the simulator.
    const auto saved = ReadSavedIdentity(stateFolder_);
    for (const auto& key : kIdentityKeys)
        if (saved.contains(key) && saved[key].is_string()) modem_.identity[key] = saved[key].get<std::string>();
    FillModel();
    if (!profile_.faults.empty()) {
        if (auto err = faults_.add(profile_.faults); !err.empty()) throw std::runtime_error("profile faults: " + err);
    }
}

Device::~Device() { Stop(); }

void Device::FillModel() {
    std::lock_guard lock(model_.mutex);
    model_.settings.projectType = static_cast<uint32_t>(std::max(0, profile_.project));
    model_.settings.platformByte = profile_.diagPlatform;
    model_.settings.serviceProgrammingCode = profile_.serviceCode;
    model_.settings.securityLock = profile_.securityLock;
    model_.settings.protectedNvItems = profile_.protectedNvItems;
    model_.settings.lockAnswer = profile_.lockAnswer;
    model_.locked = profile_.securityLock;
    model_.settings.dmssMaxWriteSize = static_cast<uint16_t>(profile_.dmssMaxWriteSize);
    model_.settings.dmssParamsLeadingFlag = profile_.dmssParamsLeadingFlag;
    model_.softwareVersion = profile_.atiVersion;
    for (const auto& spec : profile_.nvItems) {
        NvItem item;
        item.id = static_cast<uint16_t>(spec.id);
        std::copy_n(spec.data.begin(), std::min(spec.data.size(), item.data.size()), item.data.begin());
        item.status = static_cast<NvStatus>(spec.status);
        model_.nv.Set(item);
    }
    for (const auto& spec : profile_.rfNvItems) model_.nv.SetRf({static_cast<uint16_t>(spec.id), spec.data});
    for (const auto& entry : profile_.efs) {
        const bool ok = entry.directory ? model_.efs.AddDir(entry.path, entry.permissions.value_or(0777))
                                        : model_.efs.AddFile(entry.path, entry.data, entry.permissions.value_or(0666));
        if (!ok) throw std::runtime_error(fmt::format("profile: EFS entry {} does not fit the tree", entry.path));
    }
    if (profile_.efsImageWipes) model_.CaptureWipedFactory();
    else model_.CaptureFactory();
}

std::string Device::TtyName(int number) const { return fmt::format("{}{}", profile_.ttyPrefix, number); }

std::vector<int> Device::NextNumbers(size_t count, bool shift) const {
    int base = profile_.firstTtyNumber;
    // A device that takes new numbers starts behind the highest number it had before, as a
    // system does that has not yet released the old ones.
    if (shift && !lastNumbers_.empty()) base = *std::max_element(lastNumbers_.begin(), lastNumbers_.end()) + 1;
    if (base + static_cast<int>(count) > 4096) base = profile_.firstTtyNumber;
    std::vector<int> out;
    for (size_t i = 0; i < count; ++i) out.push_back(base + static_cast<int>(i));
    return out;
}

std::string Device::Start() {
    PlugNow(profile_.fastboot.atPowerUp ? UsbPersonality::Fastboot : profile_.powerUp);
    return ReadyLine();
}

std::string Device::ReadyLine() const {
    std::string ports;
    for (const auto& p : ports_) ports += fmt::format("{}{}={}", ports.empty() ? "" : " ", PortRoleName(p.role), p.name);
    for (const auto& f : functions_) ports += fmt::format("{}{}={}", ports.empty() ? "" : " ", f.interfaceName, f.link);
    const std::string disk = tree_.blockName().empty() ? "" : " disk " + tree_.blockName();
    return fmt::format("flintcast-devsim ready: project {} {} ports {}{} root {}", profile_.project,
                       UsbPersonalityName(personality_), ports, disk, tree_.root().string());
}

void Device::PlugNow(UsbPersonality personality) {
    const auto count = TtyCount(profile_.layouts.at(personality));
    const auto numbers = NextNumbers(count, profile_.shiftPorts);
    RemovePorts({});
    pending_.reset();
    CreatePorts(personality, numbers);
}

void Device::CreatePorts(UsbPersonality personality, const std::vector<int>& numbers) {
    const auto& layout = profile_.layouts.at(personality);
    std::vector<PortEntry> entries;
    ports_.clear();
    size_t next = 0;
    for (const auto& spec : layout.interfaces) {
        if (IsUsbFunctionRole(spec.role)) continue;
        Port port;
        port.name = TtyName(numbers[next++]);
        port.role = spec.role;
        port.interfaceNumber = spec.number;
        port.interfaceName = profile_.interfaceStrings ? spec.name : std::string();
        // Every enumeration is a new tty, even under an old name: a client must open it again.
        port.pty = std::make_unique<platform::PtyPair>();
        SetNonBlocking(port.pty->masterFd());
        if (IsBinaryRole(spec.role)) {
            port.engine = std::make_unique<DiagPortEngine>(model_, EnginePersonality(spec.role), &hooks_);
        } else if (spec.role == PortRole::Modem) {
            port.modem = std::make_unique<AtModem>(profile_, modem_, &faults_);
        }
        port.lastDataTick = clock_.tickMs();
        entries.push_back({port.name, spec.number, port.interfaceName, port.pty->slavePath()});
        ports_.push_back(std::move(port));
    }
    // The old ttys go now: a client still holding one reads its hang-up.
    retained_.clear();
    if (personality == UsbPersonality::Normal) composition_ = ComposeUsb(modem_);
    if (personality == UsbPersonality::Storage) composition_ = UsbComposition{"", ModemDisk()};
    const bool showsStorage = personality == UsbPersonality::Normal || personality == UsbPersonality::Storage;
    tree_.Plug(layout, profile_.serial, entries, showsStorage ? composition_.storage : std::nullopt);
    // A real bus gives every enumeration a new device number.
    functions_ = android_->Enumerate(personality);
    tree_.PlugFunctions(functions_, 1, static_cast<int>(enumerations_ % 126) + 2);
    OpenDiskNode(showsStorage ? composition_.storage : std::nullopt);
    lastNumbers_ = numbers;
    personality_ = personality;
    status_ = Status::Present;
    ++enumerations_;
    ++portGeneration_;
    WriteState();
}

void Device::RemovePorts(const std::vector<std::string>& keep, bool leaveAfterLastReply) {
    disk_.reset();
    tree_.Unplug();
    android_->LeaveBus();
    functions_.clear();
    for (auto& port : ports_) {
        if (std::find(keep.begin(), keep.end(), port.name) != keep.end()) {
            retained_[port.name] = std::move(port.pty);
        } else if (leaveAfterLastReply && port.pty) {
            port.pty->holdSlave(true);
            leaving_.push_back({std::move(port.pty), clock_.tickMs() + kLastReplyLimitMs});
        }
    }
    if (!leaveAfterLastReply) leaving_.clear();
    ports_.clear();
    ++portGeneration_;
}

void Device::CloseLeftPorts() {
    const auto now = clock_.tickMs();
    std::erase_if(leaving_, [now](const LeavingPort& port) {
        return port.pty->unreadByClient() == 0 || TickReached(now, port.dueTick);
    });
}

void Device::Reenumerate(UsbPersonality next, bool afterReset) {
    const char* personality = UsbPersonalityName(next);
    const bool stayAway = faults_.fireNamed(FaultKind::NoReturn, personality).has_value();
    if ((afterReset && faults_.fire(FaultKind::NoReturn, "")) || stayAway) {
        Unplug(Status::Unplugged);
        return;
    }
    const bool shiftNamed = faults_.fireNamed(FaultKind::ShiftPorts, personality).has_value();
    const bool shift = profile_.shiftPorts || faults_.fire(FaultKind::ShiftPorts, "").has_value() || shiftNamed;
    const auto numbers = NextNumbers(TtyCount(profile_.layouts.at(next)), shift);
    std::vector<std::string> keep;
    for (int n : numbers) keep.push_back(TtyName(n));
    RemovePorts(keep, true);
    if (next == UsbPersonality::Normal) {
        std::lock_guard lock(model_.mutex);
        model_.OnRestart();
    }
    pending_ = PendingPlug{next, numbers, clock_.tickMs() + profile_.reenumerationDelayMs};
    status_ = Status::Reenumerating;
    WriteState();
}

void Device::Unplug(Status status) {
    RemovePorts({});
    retained_.clear();
    pending_.reset();
    status_ = status;
    WriteState();
}

void Device::Stop() {
    if (status_ == Status::Unplugged && ports_.empty() && retained_.empty() && !control_) return;
    RemovePorts({});
    retained_.clear();
    pending_.reset();
    if (status_ != Status::Crashed) status_ = Status::Unplugged;
    control_.reset();
    WriteState();
}

void Device::Run(int stopFd) {
    std::vector<pollfd> fds;
    for (;;) {
        fds.clear();
        fds.push_back({stopFd, POLLIN, 0});
        fds.push_back({control_->fd(), POLLIN, 0});
        const auto clients = control_->clientFds();
        for (int fd : clients) fds.push_back({fd, POLLIN, 0});
        const auto diskFds = disk_ ? disk_->fds() : std::vector<int>{};
        const size_t firstDisk = fds.size();
        for (int fd : diskFds) fds.push_back({fd, POLLIN, 0});
        const size_t firstPort = fds.size();
        for (const auto& port : ports_) fds.push_back({port.pty->masterFd(), POLLIN, 0});
        for (const auto& [name, pty] : retained_) fds.push_back({pty->masterFd(), POLLIN, 0});
        const size_t firstAndroid = fds.size();
        android_->AddPollFds(fds);
        const int ready = ::poll(fds.data(), fds.size(), PollTimeoutMs());
        if (ready < 0 && errno != EINTR) throw std::system_error(errno, std::generic_category(), "poll");
        if (ready > 0 && (fds[0].revents & POLLIN)) return;
        if (ready > 0 && (fds[1].revents & POLLIN)) control_->Accept();
        bool commandRan = false;
        for (size_t i = 0; ready > 0 && i < clients.size(); ++i) {
            if (fds[2 + i].revents & (POLLIN | POLLHUP | POLLERR)) {
                control_->Serve(clients[i], [this](const std::string& line) { return Control(line); });
                commandRan = true;
            }
        }
        if (commandRan) continue;  // a command may have changed the ports
        bool diskServed = false;
        for (size_t i = 0; ready > 0 && i < diskFds.size() && disk_; ++i) {
            if (fds[firstDisk + i].revents & (POLLIN | POLLHUP | POLLERR)) {
                ServeDisk(diskFds[i]);
                diskServed = true;
            }
        }
        if (diskServed) continue;  // the mode switch may have changed the ports
        if (ready > 0) {
            const uint32_t generation = portGeneration_;
            for (size_t i = 0; i < ports_.size() && generation == portGeneration_; ++i) {
                if (fds[firstPort + i].revents & (POLLIN | POLLHUP | POLLERR)) ServePort(i);
            }
            if (generation == portGeneration_) DrainRetained();
            if (generation == portGeneration_) {
                const auto actions = android_->Serve(std::span(fds).subspan(firstAndroid));
                for (const auto action : actions) OnAndroidAction(action);
            }
        }
        RunIdleTimers();
        CloseLeftPorts();
        if (pending_ && TickReached(clock_.tickMs(), pending_->dueTick)) {
            const auto plug = *pending_;
            pending_.reset();
            CreatePorts(plug.personality, plug.numbers);
        }
        if (stateDirty_ && std::chrono::steady_clock::now() - lastStateWrite_ >= kStateWriteInterval) WriteState();
    }
}

int Device::PollTimeoutMs() const {
    uint32_t waitMs = kLoopTickMs;
    if (pending_) {
        const auto now = clock_.tickMs();
        waitMs = TickReached(now, pending_->dueTick) ? 0 : std::min(waitMs, pending_->dueTick - now);
    }
    for (const auto& port : ports_)
        if (port.engine && port.engine->WantsIdle()) waitMs = std::min(waitMs, DiagPortEngine::kIdleMs);
    int real = clock_.realTimeoutMs(waitMs);
    if (stateDirty_) real = std::min(real, static_cast<int>(kStateWriteInterval.count()));
    if (!leaving_.empty()) real = std::min(real, kLeavingCheckMs);
    return real;
}

void Device::RunIdleTimers() {
    const uint32_t generation = portGeneration_;
    for (size_t i = 0; i < ports_.size() && generation == portGeneration_; ++i) {
        auto& port = ports_[i];
        if (!port.engine || !port.engine->WantsIdle()) continue;
        if (!TickReached(clock_.tickMs(), port.lastDataTick + DiagPortEngine::kIdleMs)) continue;
        OnEngineOutput(port, port.engine->OnIdle());
    }
}

void Device::DrainRetained() {
    // A port that is off the bus takes nothing in: what the client writes meanwhile is lost.
    std::array<uint8_t, 4096> buf{};
    for (auto& [name, pty] : retained_)
        while (::read(pty->masterFd(), buf.data(), buf.size()) > 0) {
        }
}

void Device::ServePort(size_t index) {
    auto& port = ports_[index];
    std::vector<uint8_t> buf(kReadChunk);
    const ssize_t n = ::read(port.pty->masterFd(), buf.data(), buf.size());
    if (n <= 0) return;  // EAGAIN, or EIO while no client holds the port open
    buf.resize(static_cast<size_t>(n));
    port.received += buf.size();
    port.lastDataTick = clock_.tickMs();
    const char* role = PortRoleName(port.role);
    writer_.PaceRead(role, buf.size());
    if (port.engine) {
        OnEngineOutput(port, port.engine->Feed(buf));
    } else if (port.modem) {
        auto out = port.modem->Feed(std::string_view(reinterpret_cast<const char*>(buf.data()), buf.size()));
        writer_.Send(port.pty->masterFd(), role, std::vector<uint8_t>(out.bytes.begin(), out.bytes.end()), false,
                     out.delayMs);
        if (out.stateChanged) WriteState();
        if (out.unplugged) return Unplug(Status::Unplugged);
        if (out.resetRequested) Reenumerate(UsbPersonality::Normal, true);
    }
    // A terminal port takes what it is given and answers nothing the tool uses.
}

void Device::OpenDiskNode(const std::optional<StorageFunction>& storage) {
    disk_.reset();
    if (!storage || storage->kind != StorageKind::Disk || tree_.blockName().empty()) return;
    disk_ = std::make_unique<ScsiDiskServer>(tree_.DevPath(tree_.blockName()));
}

void Device::ServeDisk(int fd) {
    const auto& storage = composition_.storage;
    const DiskIdentity identity{storage && !storage->vendor.empty() ? storage->vendor : "Flintcst",
                                storage && !storage->model.empty() ? storage->model : "Virtual Disk", "0100"};
    bool switchToModem = false;
    disk_->Serve(fd, [&](const platform::ScsiRequest& request) {
        auto outcome = HandleScsiCommand(request, identity, personality_ == UsbPersonality::Storage);
        switchToModem = switchToModem || outcome.switchToModem;
        return outcome.answer;
    });
    // The answer is out; the unit now leaves the bus and comes back with its serial ports.
    if (switchToModem && personality_ == UsbPersonality::Storage) Reenumerate(UsbPersonality::Normal, false);
}

void Device::OnAndroidAction(AndroidUnit::Action action) {
    switch (action) {
        case AndroidUnit::Action::Reboot: Reenumerate(UsbPersonality::Normal, true); break;
        case AndroidUnit::Action::RebootBootloader: Reenumerate(UsbPersonality::Fastboot, true); break;
        case AndroidUnit::Action::Disconnect: Unplug(Status::Unplugged); break;
        case AndroidUnit::Action::StateChanged: MarkDirty(); break;
    }
}

void Device::OnEngineOutput(Port& port, EngineOutput output) {
    const int fd = port.pty->masterFd();
    const char* role = PortRoleName(port.role);
    for (auto& chunk : output.replies) writer_.Send(fd, role, std::move(chunk.bytes), true, chunk.delayMs);
    MarkDirty();
    // Events may remove this port: act on them only after every reply went out.
    for (const auto event : output.events) {
        OnEvent(event);
    }
    if (hooks_.TakeUnplug()) Unplug(Status::Unplugged);
}

void Device::OnEvent(DeviceEvent event) {
    switch (event) {
        case DeviceEvent::SwitchToDownload: Reenumerate(UsbPersonality::Download, false); break;
        case DeviceEvent::ProgrammerRunning: Reenumerate(UsbPersonality::Programmer, false); break;
        case DeviceEvent::Crash: Unplug(Status::Crashed); break;
        case DeviceEvent::Reset:
        case DeviceEvent::PowerOff:
            // An Android-based unit may start its bootloader's fastboot mode after a flash session.
            Reenumerate(personality_ == UsbPersonality::Programmer && profile_.fastboot.afterStreamingReset
                            ? UsbPersonality::Fastboot
                            : UsbPersonality::Normal,
                        true);
            break;
        case DeviceEvent::Unplug: Unplug(Status::Unplugged); break;
        case DeviceEvent::FactoryRestored:
            modem_.identity = profile_.efsImageWipes ? WipedIdentity(profile_.identity) : profile_.identity;
            android_->WipeByUpdate();
            WriteState();
            break;
        case DeviceEvent::VersionChanged: {
            std::lock_guard lock(model_.mutex);
            modem_.softwareVersion = model_.softwareVersion;
            MarkDirty();
            break;
        }
        case DeviceEvent::Offline: MarkDirty(); break;
    }
}

std::string Device::Control(const std::string& rawLine) {
    const auto line = std::string(Trim(rawLine));
    const auto space = line.find(' ');
    const auto verb = ToLower(line.substr(0, space));
    const auto arg = space == std::string::npos ? std::string() : std::string(Trim(line.substr(space + 1)));
    if (verb == "state") return "OK " + StateJson().dump();
    if (verb == "unplug") {
        if (status_ == Status::Unplugged || status_ == Status::Crashed) return "OK already unplugged";
        Unplug(Status::Unplugged);
        return "OK unplugged";
    }
    if (verb == "plug") {
        if (status_ == Status::Present || status_ == Status::Reenumerating) return "OK already plugged";
        {
            std::lock_guard lock(model_.mutex);
            model_.OnRestart();
        }
        PlugNow(profile_.fastboot.atPowerUp ? UsbPersonality::Fastboot : profile_.powerUp);
        return "OK " + ReadyLine();
    }
    if (verb == "reset") {
        if (status_ != Status::Present) return fmt::format("ERROR device is {}", DeviceStatusName(status_));
        Reenumerate(UsbPersonality::Normal, true);
        return "OK resetting";
    }
    if (verb == "personality") {
        const auto target = ParseUsbPersonality(ToLower(arg));
        if (!target) return "ERROR personality must be normal, download, programmer, fastboot or storage";
        if (!profile_.layouts.contains(*target))
            return fmt::format("ERROR this unit has no {} personality", UsbPersonalityName(*target));
        if (status_ == Status::Crashed) return "ERROR device is crashed; plug it in again first";
        Reenumerate(*target, false);
        return fmt::format("OK switching to {}", UsbPersonalityName(*target));
    }
    if (verb == "fault") {
        if (arg.empty()) return "ERROR fault needs a spec";
        if (auto err = faults_.add(arg); !err.empty()) return "ERROR " + err;
        WriteState();
        return "OK fault added";
    }
    if (verb == "clear-faults") {
        faults_.clear();
        WriteState();
        return "OK faults cleared";
    }
    return fmt::format("ERROR unknown command \"{}\" (unplug, plug, reset, state, personality X, fault SPEC, clear-faults)",
                       verb);
}

nlohmann::json Device::StateJson() const {
    nlohmann::json j;
    j["profile"] = profile_.name;
    j["project"] = profile_.project;
    j["status"] = DeviceStatusName(status_);
    j["personality"] = UsbPersonalityName(personality_);
    j["enumerations"] = enumerations_;
    j["usb"] = UsbCompositionJson(composition_);
    auto ports = nlohmann::json::array();
    for (const auto& p : ports_)
        ports.push_back({{"name", p.name}, {"role", PortRoleName(p.role)}, {"interface", p.interfaceNumber},
                         {"interface_name", p.interfaceName}, {"dev", tree_.DevPath(p.name).string()},
                         {"received", p.received}});
    j["ports"] = std::move(ports);
    j["modem"] = modem_.toJson();
    {
        std::lock_guard lock(model_.mutex);
        j["model"] = model_.ToJson();
    }
    android_->AddState(j);
    j["faults"] = faults_.toJson();
    return j;
}

void Device::WriteState() {
    stateDirty_ = false;
    lastStateWrite_ = std::chrono::steady_clock::now();
    WriteStateFile(stateFolder_, StateJson());
}

}  // namespace flintcast::sim
