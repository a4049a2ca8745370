#include "sim/protocols/adb_sync.h"

#include <algorithm>

#include <fmt/format.h>

namespace flintcast::sim {
namespace {

constexpr uint32_t kRegularFile = 0100000;
constexpr uint32_t kDirectory = 0040000;
constexpr size_t kRequestBytes = 8;

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t Get32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint32_t ModeOf(const AndroidEntry& e) { return (e.directory ? kDirectory : kRegularFile) | e.mode; }

}  // namespace

AdbSyncService::AdbSyncService(AndroidFiles& files, ProtocolFaultHooks* requestFaults, SyncLinkFaults* linkFaults)
    : files_(files), requestFaults_(requestFaults), linkFaults_(linkFaults) {}

RequestFault AdbSyncService::Admit(const char* request) {
    return requestFaults_ ? requestFaults_->OnRequest(request) : RequestFault::None;
}

void AdbSyncService::Fail(const std::string& message, std::vector<uint8_t>& out) {
    Put32(out, sync_id::kFail);
    Put32(out, static_cast<uint32_t>(message.size()));
    out.insert(out.end(), message.begin(), message.end());
}

AdbSyncService::Result AdbSyncService::Feed(std::span<const uint8_t> bytes, std::vector<uint8_t>& out) {
    Result result;
    size_t pos = 0;
    while (pos < bytes.size() && phase_ != Phase::Closed && !result.disconnect) {
        switch (phase_) {
            case Phase::Request:
            case Phase::SendHeader: {
                const size_t take = std::min(kRequestBytes - header_.size(), bytes.size() - pos);
                header_.insert(header_.end(), bytes.begin() + static_cast<long>(pos),
                               bytes.begin() + static_cast<long>(pos + take));
                pos += take;
                if (header_.size() < kRequestBytes) break;
                id_ = Get32(header_.data());
                length_ = Get32(header_.data() + 4);
                header_.clear();
                if (phase_ == Phase::Request) OnHeader(result, out);
                else OnSendHeader(result, out);
                break;
            }
            case Phase::Path:
            case Phase::SendData: {
                const size_t take = std::min<size_t>(length_ - piece_.size(), bytes.size() - pos);
                piece_.insert(piece_.end(), bytes.begin() + static_cast<long>(pos),
                              bytes.begin() + static_cast<long>(pos + take));
                pos += take;
                if (piece_.size() < length_) break;
                if (phase_ == Phase::Path) {
                    path_.assign(piece_.begin(), piece_.end());
                    piece_.clear();
                    OnRequest(result, out);
                } else {
                    if (!sendTooBig_ && sendData_.size() + piece_.size() > kSyncMaxFile) sendTooBig_ = true;
                    if (!sendTooBig_) {
                        const auto before = sendData_.size();
                        sendData_.insert(sendData_.end(), piece_.begin(), piece_.end());
                        if (disconnectAt_ && sendData_.size() >= *disconnectAt_ && before < *disconnectAt_) {
                            result.disconnect = true;
                        }
                    }
                    piece_.clear();
                    phase_ = Phase::SendHeader;
                }
                break;
            }
            case Phase::Closed: break;
        }
    }
    if (phase_ == Phase::Closed) result.close = true;
    return result;
}

void AdbSyncService::OnHeader(Result& result, std::vector<uint8_t>& out) {
    (void)result;
    if (id_ == sync_id::kQuit) {
        phase_ = Phase::Closed;
        return;
    }
    if (id_ != sync_id::kStat && id_ != sync_id::kList && id_ != sync_id::kRecv && id_ != sync_id::kSend) {
        Fail("unknown sync request", out);
        phase_ = Phase::Closed;
        return;
    }
    if (length_ > kSyncMaxPath) {
        Fail("path too long", out);
        phase_ = Phase::Closed;
        return;
    }
    piece_.clear();
    phase_ = Phase::Path;
    if (length_ == 0) {
        path_.clear();
        OnRequest(result, out);
    }
}

void AdbSyncService::OnRequest(Result& result, std::vector<uint8_t>& out) {
    phase_ = Phase::Request;
    if (id_ == sync_id::kStat) return Stat(out);
    if (id_ == sync_id::kList) return List(out);
    if (id_ == sync_id::kRecv) return Receive(result, out);
    // SEND "path,mode": the mode after the last comma, file type bits included.
    const auto comma = path_.rfind(',');
    sendPath_ = path_.substr(0, comma);
    sendMode_ = 0644;
    if (comma != std::string::npos) {
        const auto text = path_.substr(comma + 1);
        uint32_t mode = 0;
        bool digits = !text.empty() && text.size() <= 10;
        for (char c : text) {
            if (c < '0' || c > '9') digits = false;
            else mode = mode * 10 + static_cast<uint32_t>(c - '0');
        }
        if (digits) sendMode_ = mode & 07777;
    }
    sendData_.clear();
    sendTooBig_ = false;
    sendFault_ = Admit("adb.send");
    disconnectAt_ = linkFaults_ ? linkFaults_->DisconnectAfter() : std::nullopt;
    if (disconnectAt_ && *disconnectAt_ == 0) result.disconnect = true;
    phase_ = Phase::SendHeader;
}

void AdbSyncService::OnSendHeader(Result& result, std::vector<uint8_t>& out) {
    if (id_ == sync_id::kData) {
        if (length_ > kSyncMaxData) {
            Fail("data piece too long", out);
            phase_ = Phase::Closed;
            return;
        }
        piece_.clear();
        phase_ = Phase::SendData;
        return;
    }
    if (id_ == sync_id::kDone) return FinishSend(length_, result, out);
    Fail("expected DATA or DONE", out);
    phase_ = Phase::Closed;
}

void AdbSyncService::FinishSend(uint32_t mtime, Result& result, std::vector<uint8_t>& out) {
    phase_ = Phase::Request;
    if (sendFault_ == RequestFault::Ignore) return;
    if (sendFault_ == RequestFault::Refuse) return Fail("write refused", out);
    if (sendTooBig_) return Fail("file too large", out);
    if (auto err = files_.Write(sendPath_, std::move(sendData_), sendMode_, mtime); !err.empty())
        return Fail(fmt::format("{}: {}", sendPath_, err), out);
    result.changed = true;
    Put32(out, sync_id::kOkay);
    Put32(out, 0);
}

void AdbSyncService::Stat(std::vector<uint8_t>& out) {
    const auto fault = Admit("adb.stat");
    if (fault == RequestFault::Ignore) return;
    const AndroidEntry* e = fault == RequestFault::Refuse ? nullptr : files_.Find(path_);
    Put32(out, sync_id::kStat);
    Put32(out, e ? ModeOf(*e) : 0);
    Put32(out, e ? static_cast<uint32_t>(e->data.size()) : 0);
    Put32(out, e ? e->mtime : 0);
}

void AdbSyncService::List(std::vector<uint8_t>& out) {
    const auto fault = Admit("adb.list");
    if (fault == RequestFault::Ignore) return;
    const auto* dir = fault == RequestFault::Refuse ? nullptr : files_.Find(path_);
    if (dir && dir->directory) {
        for (const auto& [name, e] : files_.List(path_)) {
            Put32(out, sync_id::kDent);
            Put32(out, ModeOf(*e));
            Put32(out, static_cast<uint32_t>(e->data.size()));
            Put32(out, e->mtime);
            Put32(out, static_cast<uint32_t>(name.size()));
            out.insert(out.end(), name.begin(), name.end());
        }
    }
    Put32(out, sync_id::kDone);
    for (int i = 0; i < 4; ++i) Put32(out, 0);
}

void AdbSyncService::Receive(Result& result, std::vector<uint8_t>& out) {
    const auto fault = Admit("adb.recv");
    if (fault == RequestFault::Ignore) return;
    if (fault == RequestFault::Refuse) return Fail("read refused", out);
    const auto* e = files_.Find(path_);
    if (!e) return Fail("No such file or directory", out);
    if (e->directory) return Fail("Is a directory", out);
    const auto cut = linkFaults_ ? linkFaults_->DisconnectAfter() : std::nullopt;
    const size_t size = e->data.size();
    for (size_t at = 0; at < size; at += kSyncMaxData) {
        const size_t n = std::min<size_t>(kSyncMaxData, size - at);
        if (cut && at + n >= *cut) {
            // The unit leaves the bus part way: what went before is all the host gets.
            const size_t partial = static_cast<size_t>(*cut - std::min<uint64_t>(*cut, at));
            Put32(out, sync_id::kData);
            Put32(out, static_cast<uint32_t>(n));
            out.insert(out.end(), e->data.begin() + static_cast<long>(at), e->data.begin() + static_cast<long>(at + partial));
            result.disconnect = true;
            return;
        }
        Put32(out, sync_id::kData);
        Put32(out, static_cast<uint32_t>(n));
        out.insert(out.end(), e->data.begin() + static_cast<long>(at), e->data.begin() + static_cast<long>(at + n));
    }
    Put32(out, sync_id::kDone);
    Put32(out, 0);
}

}  // namespace flintcast::sim
