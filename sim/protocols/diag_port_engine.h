#pragma once
// The device side of the binary port: bytes from the tool go in, reply bytes and device
// events come out. One engine per port; its personality decides which protocol it speaks:
//   Diagnostic  DIAG requests (normal mode)
//   Download    the DMSS bootloader (after the DIAG download request)
//   Programmer  the streaming download protocol (after GO with a valid programmer)
// The engine is pure: no I/O, no clock. Delays it wants come back with the reply.
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "sim/model/device_model.h"
#include "sim/protocols/protocol_faults.h"

namespace flintcast::sim {

enum class Personality { Diagnostic, Download, Programmer };

enum class DeviceEvent {
    SwitchToDownload,   // DIAG 0x3A answered: re-enumerate as the download port
    ProgrammerRunning,  // GO accepted: re-enumerate as the programmer port
    Crash,              // GO into something that is not a programmer: gone until replugged
    Reset,              // reset requested: re-enumerate in normal mode
    PowerOff,           // power off requested: leave the bus, come back in normal mode
    Offline,            // DIAG mode control offline
    Unplug,             // a fault pulled the plug in the middle of an image
    FactoryRestored,    // an EFS image was written: identity values go back to factory too
    VersionChanged,     // a written AMSS image carries a new software version
};

struct ReplyChunk {
    std::vector<uint8_t> bytes;
    // Device time (tool clock milliseconds) to wait before writing these bytes.
    uint32_t delayMs = 0;
};

struct EngineOutput {
    std::vector<ReplyChunk> replies;  // write in order
    std::vector<DeviceEvent> events;  // act on after the replies are written

    bool empty() const { return replies.empty() && events.empty(); }
};

class ProtocolHandler;

class DiagPortEngine {
public:
    // `faults` may be null; the model and hooks must outlive the engine.
    DiagPortEngine(DeviceModel& model, Personality personality,
                   ProtocolFaultHooks* faults = nullptr);
    ~DiagPortEngine();
    DiagPortEngine(const DiagPortEngine&) = delete;
    DiagPortEngine& operator=(const DiagPortEngine&) = delete;

    Personality personality() const { return personality_; }

    // Feeds bytes read from the port. Locks the model while it works.
    EngineOutput Feed(std::span<const uint8_t> bytes);
    // The line has been quiet for a while. During a fast transfer this completes a raw
    // data block (whose end the device can only see as a pause).
    EngineOutput OnIdle();
    // True while a pause would complete something: poll the port with a short time-out
    // (kIdleMs of device time) and call OnIdle when it expires without data.
    bool WantsIdle() const;
    static constexpr uint32_t kIdleMs = 20;

private:
    DeviceModel& model_;
    Personality personality_;
    std::unique_ptr<ProtocolHandler> handler_;
};

}  // namespace flintcast::sim
