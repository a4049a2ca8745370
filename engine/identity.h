#pragma once
// The device's identity values (serial number, IMEI, ESN, MEID, addresses, sales and factory
// test records): read with AT commands before the update, kept in at.bak, written back after.
//
// How the worker calls these:
//   - backup:  ReadIdentity(); the worker checks the read flags of the serial number, IMEI
//              and test information and names the backup folder from them; then
//              WriteIdentityBackup(atBakPath)
//   - restore: RestoreIdentity(atBakPath) once the modem port is open again
//   - resumed run (the device may have lost its values): LoadReadFlags(atBakPath) in place of
//              ReadIdentity(), then RestoreIdentity(atBakPath) as usual
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/worker_context.h"

namespace flintcast::engine {

class AtChannel;

enum class IdentityValue {
    SerialNumber,
    Esn,
    Imei,
    Imei1,
    Meid,
    Bluetooth,
    WifiCal,
    SalesCount,
    SalesInfo,
    TestInfo,
    Uit87,
    Uit89,
    Cllen,
    Zrreq,
    Gmi,
};
inline constexpr size_t kIdentityValueCount = 15;

// Removes every CR, LF and double quote.
std::string StripReply(std::string_view text);
// Removes every CR and LF.
std::string StripLineBreaks(std::string_view text);
// The test information as it is kept: upper case, without line breaks and, unless
// `uitNewWays`, without the UIT87/UIT89 results (which have values of their own).
std::string CleanTestInfo(std::string_view value, bool uitNewWays);

class DeviceIdentity {
public:
    static constexpr int kPortTestAttempts = 10;
    static constexpr uint32_t kPortTestPauseMs = 200;
    static constexpr int kImeiAttempts = 3;

    DeviceIdentity(WorkerContext& ctx, AtChannel& at);

    // Reads every value the project has. False only when the modem port is not open (or a
    // stop was requested); a value that could not be read just keeps its read flag clear.
    bool ReadIdentity();
    // Writes at.bak. Does nothing when an error is latched.
    void WriteIdentityBackup(const std::string& atBakPath);
    // Writes the values whose read flag is set back to the device, from at.bak.
    bool RestoreIdentity(const std::string& atBakPath);
    // Takes the read flags from at.bak's [BACKUP] section (and the project-8/10/18 values
    // from their [Data] keys), for a restore without a read in the same run.
    bool LoadReadFlags(const std::string& atBakPath);

    const std::string& value(IdentityValue v) const { return values_[Index(v)]; }
    bool read(IdentityValue v) const { return read_[Index(v)]; }
    // The value as the unit answered it in the last ReadIdentity (before the test information
    // and UIT results were cleaned); nothing when it was not asked or not answered.
    const std::optional<std::string>& answered(IdentityValue v) const { return answered_[Index(v)]; }

private:
    WorkerContext& ctx_;
    AtChannel& at_;
    std::array<std::string, kIdentityValueCount> values_;
    std::array<bool, kIdentityValueCount> read_{};
    std::array<std::optional<std::string>, kIdentityValueCount> answered_{};

    static size_t Index(IdentityValue v) { return static_cast<size_t>(v); }
    void set(IdentityValue v, std::string text, bool wasRead) {
        values_[Index(v)] = std::move(text);
        read_[Index(v)] = wasRead;
    }
    // One read: SendAT with the value's command, then the success or failure line.
    bool readValue(IdentityValue v, std::string_view okLine, std::string_view errorLine, std::string& out);
    void readImei(IdentityValue v, std::string_view okLine, std::string_view errorLine);
    void readEsn();
    void readProjectExtras();
    void testPort();
    bool writeValues();
};

}  // namespace flintcast::engine
