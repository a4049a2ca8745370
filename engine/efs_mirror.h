#pragma once
// The PC copy of the device's EFS files: the device path /a/b/c.dat is kept as
// <device backup folder>/EFS/a/b/c.dat. Nothing that comes from the device or the
// configuration may place a file outside that EFS folder.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace flintcast::engine {

// The PC path of a device path's copy ("/" is the EFS folder itself); nullopt for an empty
// path, or one with a "." or ".." component or a control byte.
std::optional<std::string> MirrorPathOf(std::string_view backupFolder, std::string_view devicePath);

// The folder of a device path's copy (the PC path up to its last "/").
std::string MirrorParentOf(const std::string& pcPath);

enum class EntryName {
    Usable,
    Self,     // "." : the directory itself, left out without a word
    Refused,  // "..", a "/" or "\", a control byte, or bytes that are not UTF-8
};

// Judges a name from a directory listing before it becomes part of a device and a PC path.
EntryName CheckEntryName(std::span<const uint8_t> name);

// The name with every byte outside printable ASCII shown as \xNN, for log lines.
std::string PrintableName(std::span<const uint8_t> name);

}  // namespace flintcast::engine
