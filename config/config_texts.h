#pragma once
// The texts of the configuration messages, exactly as users and support staff know them.
#include <string_view>

namespace flintcast::config::texts {

inline constexpr std::string_view kWarning = "Warning";
inline constexpr std::string_view kPlatformWrong = "Config was wrong.Not support platform configuration.";
inline constexpr std::string_view kUnknownTerminal = "Unknow the terminal type.";
inline constexpr std::string_view kMemoryTypeWrong = "Memory type configuration was wrong.";
inline constexpr std::string_view kNoSoftwareVersion = "Could not find software version";
inline constexpr std::string_view kUserDataNotFound = "User data file not found.";
inline constexpr std::string_view kPhonePcSuite = "Config was wrong.Phone type can't download PCSuite.";
inline constexpr std::string_view kBackupRestore =
    "Config was wrong.\nBackup and restore must be selected at same time.";
inline constexpr std::string_view kEfsPartOfEfs =
    "Config was wrong.\nEFS and part of EFS can't be selected at same time.";
inline constexpr std::string_view kSimLockListEmpty = "SIMLOCKList is empty!";
inline constexpr std::string_view kDefaultNvWrong = "Default NV configration is incorrect!";
inline constexpr std::string_view kCustomNvWrong = "Custom NV configration is incorrect!";
inline constexpr std::string_view kStartAtWrong = "Start AT command configration is incorrect!";
inline constexpr std::string_view kEndAtWrong = "End AT command configration is incorrect!";
// Shown when the file itself cannot be read; the path and the reason follow.
inline constexpr std::string_view kConfigUnreadable = "Could not read configuration file ";

// Dual-package mode.
inline constexpr std::string_view kChineseWarning = "警告";
inline constexpr std::string_view kSameFlashType = "两个版本包中不能是相同Flash大小的版本[FlashType]";
inline constexpr std::string_view kBoardPairWrong = "MBX1或MBY售后方案的配置不正确";
inline constexpr std::string_view kNotMatched = "Device and software version is not matched!";
inline constexpr std::string_view kNotMatchedFullStop = "Device and software version is not matched.";

}  // namespace flintcast::config::texts
