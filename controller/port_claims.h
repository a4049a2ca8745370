#pragma once
// The ports a run has claimed. A port in use by one slot cannot be claimed by a second; the
// tables hold port names ("ttyUSB2").
#include <array>
#include <set>
#include <string>
#include <string_view>

namespace flintcast::controller {

inline constexpr int kSlotCount = 8;

struct SlotPorts {
    std::string diag;      // diagnostic port
    std::string terminal;  // terminal port, empty when there is none
    std::string modem;     // modem port, empty when it is not used
};

class PortClaims {
public:
    bool DiagInUse(std::string_view port) const;
    bool ModemInUse(std::string_view port) const;
    // Marks both ports in use (an empty modem port is not marked).
    void Claim(const SlotPorts& ports);
    void Release(const SlotPorts& ports);
    void Clear();

private:
    std::set<std::string, std::less<>> diag_;
    std::set<std::string, std::less<>> modem_;
};



}  // namespace flintcast::controller
