#pragma once
// The EFS2 file-system service of DIAG (subsystem 0x13). Keeps the open file and directory
// handles of one diagnostic port; file handles count from 0, directory handles from 1.
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "sim/model/device_model.h"

namespace flintcast::sim {

namespace efs_cmd {
inline constexpr uint16_t kOpen = 0x02;
inline constexpr uint16_t kClose = 0x03;
inline constexpr uint16_t kRead = 0x04;
inline constexpr uint16_t kWrite = 0x05;
inline constexpr uint16_t kUnlink = 0x08;
inline constexpr uint16_t kMkdir = 0x09;
inline constexpr uint16_t kRmdir = 0x0A;
inline constexpr uint16_t kOpenDir = 0x0B;
inline constexpr uint16_t kReadDir = 0x0C;
inline constexpr uint16_t kCloseDir = 0x0D;
inline constexpr uint16_t kStat = 0x0F;
inline constexpr uint16_t kStatFs = 0x13;
}  // namespace efs_cmd

class EfsService {
public:
    static constexpr size_t kMaxOpenFiles = 8;
    static constexpr size_t kMaxOpenDirs = 4;
    static constexpr int32_t kFirstHandle = 3;
    static constexpr uint32_t kMaxReadBytes = 2048;

    // `request` starts with 4B 13 and the command code. Returns the reply payload.
    std::vector<uint8_t> Handle(std::span<const uint8_t> request, DeviceModel& model);
    // Counter name of the request's command ("diag.efs.open", ...).
    static std::string KindOf(std::span<const uint8_t> request);

private:
    struct OpenFile {
        std::string path;
        bool readable = false;
        bool writable = false;
    };
    struct OpenDir {
        std::string path;
        std::vector<std::string> names;  // listing taken when the directory was opened
    };
    std::map<int32_t, OpenFile> files_;
    std::map<int32_t, OpenDir> dirs_;

    // The lowest handle neither table holds, from kFirstHandle; -1 when `openNow` is at the limit.
    int32_t FreeHandle(size_t openLimit, size_t openNow) const;

    std::vector<uint8_t> Open(std::span<const uint8_t> req, DeviceModel& model);
    std::vector<uint8_t> Close(std::span<const uint8_t> req);
    std::vector<uint8_t> Read(std::span<const uint8_t> req, DeviceModel& model);
    std::vector<uint8_t> Write(std::span<const uint8_t> req, DeviceModel& model);
    std::vector<uint8_t> PathOnly(std::span<const uint8_t> req, DeviceModel& model, uint16_t cmd);
    std::vector<uint8_t> Mkdir(std::span<const uint8_t> req, DeviceModel& model);
    std::vector<uint8_t> OpenDirectory(std::span<const uint8_t> req, DeviceModel& model);
    std::vector<uint8_t> ReadDirectory(std::span<const uint8_t> req, DeviceModel& model);
    std::vector<uint8_t> CloseDirectory(std::span<const uint8_t> req);
    std::vector<uint8_t> Stat(std::span<const uint8_t> req, DeviceModel& model);
    std::vector<uint8_t> StatFs(std::span<const uint8_t> req, DeviceModel& model);
};

}  // namespace flintcast::sim
