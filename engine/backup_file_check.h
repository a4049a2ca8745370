#pragma once
// Checks of a stored backup's files before a resumed run restores from them. A file that is
// cut short or does not read as the backup wrote it is named with the reason, so the run can
// refuse it before a single value reaches the unit; the file itself is never changed.
#include <optional>
#include <string>

namespace flintcast::engine {

// nv.bak: whole fixed-size records (id and item bytes), no more than a backup writes.
std::optional<std::string> NvBackupDamage(const std::string& path);
// nv1.bak: records of id, size and that many bytes, the last one ending at the file's end.
std::optional<std::string> RfNvBackupDamage(const std::string& path);
// at.bak: a text whose last line is whole (it ends with a line end).
std::optional<std::string> IdentityBackupDamage(const std::string& path);

}  // namespace flintcast::engine
