#pragma once
// The node of the simulated unit's disk, <root>/dev/<name>: a Unix-domain socket that takes SCSI
// pass-through requests in the form the tool's platform layer sends them to a simulated tree
// (platform/scsi_wire.h) and answers each one. A malformed request ends the connection, as a
// driver refuses a request it cannot carry.
#include <filesystem>
#include <functional>
#include <vector>

#include "platform/scsi_wire.h"

namespace flintcast::sim {

class ScsiDiskServer {
public:
    using Handler = std::function<platform::ScsiAnswer(const platform::ScsiRequest&)>;

    // Binds the node (an old socket file is replaced). Throws std::runtime_error.
    explicit ScsiDiskServer(std::filesystem::path node);
    // Closes every connection and removes the node.
    ~ScsiDiskServer();
    ScsiDiskServer(const ScsiDiskServer&) = delete;
    ScsiDiskServer& operator=(const ScsiDiskServer&) = delete;

    // The listening socket followed by the open connections, to poll for input.
    std::vector<int> fds() const;
    // Accepts on the listening socket, or reads from a connection and answers every complete
    // request in it through `handle`.
    void Serve(int fd, const Handler& handle);

private:
    struct Client {
        int fd;
        std::vector<uint8_t> pending;
    };
    int fd_ = -1;
    std::filesystem::path node_;
    std::vector<Client> clients_;

    void Close(size_t index);
};

}  // namespace flintcast::sim
