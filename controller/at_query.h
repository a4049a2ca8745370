#pragma once
// The shared AT query of device discovery: one command, up to ten short
// reads, and the value the command's extraction rule takes from the reply.
#include <optional>
#include <string>
#include <string_view>

namespace flintcast::platform {
class Clock;
class SerialPort;
}  // namespace flintcast::platform

namespace flintcast::controller {

inline constexpr std::string_view kVersionQuery = "AT+CGMR\r\n\r\n";
inline constexpr std::string_view kInfoQuery = "ATI\r\n\r\n";
inline constexpr std::string_view kComRefQuery = "AT+COMREF?\r\n\r\n";
inline constexpr std::string_view kFlashInfoQuery = "AT+FLASHINFO\r\n\r\n";
inline constexpr std::string_view kPmuQuery = "AT+PMU\r\n\r\n";

// Software versions start with "SWK"; the family's other version format starts
// with this prefix, accepted when a reply holds no "SWK".
inline constexpr std::string_view kPrimaryVersionPrefix = "SWK";
inline constexpr std::string_view kSecondaryVersionPrefix = "BDV";

// The value of a positive reply (one that contains "OK") to `command`, with
// carriage returns and line feeds removed; nothing when the command's rule
// finds no value (a version reply without a version prefix).
std::optional<std::string> ExtractAtQueryValue(std::string_view command, std::string_view reply);

// Writes `command`, then up to 10 times waits 100 ms and reads up to 128
// bytes, judging everything read so far. "OK" gives the extracted value,
// "ERROR" or ten reads without either give nothing.
std::optional<std::string> AtQuery(platform::SerialPort& port, const platform::Clock& clock,
                                   std::string_view command);

}  // namespace flintcast::controller
