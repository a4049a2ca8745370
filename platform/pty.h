#pragma once
// Pseudo-terminal pairs: the simulator's ports and the tests' loopback ports.
#include <string>

namespace flintcast::platform {

class PtyPair {
public:
    // Opens a master/slave pair in raw mode; throws std::system_error on failure.
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;
    PtyPair(PtyPair&& other) noexcept;
    PtyPair& operator=(PtyPair&& other) noexcept;

    int masterFd() const { return master_; }
    // Path of the slave end (/dev/pts/N); the side a client opens like a tty.
    const std::string& slavePath() const { return slavePath_; }
    // Keeps a slave descriptor open so the master never sees a hang-up while no
    // client has the port open; closes it again when `hold` is false.
    void holdSlave(bool hold);
    // Bytes written on the master that the client has not read yet (needs the held slave);
    // 0 when unknown.
    int unreadByClient() const;
    void close();

private:
    int master_ = -1;
    int heldSlave_ = -1;
    std::string slavePath_;
};

}  // namespace flintcast::platform
