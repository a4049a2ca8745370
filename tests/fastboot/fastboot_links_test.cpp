#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <functional>
#include <thread>

#include "engine/fastboot_transport.h"
#include "engine/fastboot_usb_transport.h"
#include "platform/clock.h"

namespace flintcast::testing {
namespace {

// A one-connection loopback server that runs `serve` on the accepted socket.
class LoopbackPeer {
public:
    explicit LoopbackPeer(std::function<void(int)> serve) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(listener_, 1);
        socklen_t len = sizeof addr;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this, serve = std::move(serve)] {
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd >= 0) {
                serve(fd);
                ::close(fd);
            }
        });
    }
    ~LoopbackPeer() {
        thread_.join();
        ::close(listener_);
    }
    std::string name() const { return "tcp:127.0.0.1:" + std::to_string(port_); }

private:
    int listener_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

std::string ReadExactly(int fd, size_t n) {
    std::string out(n, '\0');
    size_t got = 0;
    while (got < n) {
        const ssize_t r = ::read(fd, out.data() + got, n - got);
        if (r <= 0) return out.substr(0, got);
        got += static_cast<size_t>(r);
    }
    return out;
}

void SendRaw(int fd, const std::string& bytes) { (void)!::write(fd, bytes.data(), bytes.size()); }

std::string Packet(const std::string& payload, uint64_t length) {
    std::string out(8, '\0');
    for (int i = 7; i >= 0; --i, length >>= 8) out[static_cast<size_t>(i)] = static_cast<char>(length & 0xFF);
    return out + payload;
}

TEST(FastbootTcpLinkTest, GreetsThenFramesEveryPacketWithItsBigEndianLength) {
    std::string received;
    LoopbackPeer peer([&](int fd) {
        received = ReadExactly(fd, 4);
        SendRaw(fd, "FB01");
        received += ReadExactly(fd, 8 + 17);
        SendRaw(fd, Packet("DATA00001000", 12));
        received += ReadExactly(fd, 8 + 4096);
        // Longer than any reply: the link must not take image-sized data for an answer.
        SendRaw(fd, Packet("OKAY", 0x100000000ull));
    });
    platform::Clock clock(1.0);
    auto link = engine::OpenFastbootTransport(clock, peer.name());
    ASSERT_TRUE(link.transport) << link.error;
    size_t n = 0;
    const std::string command = "download:00001000";
    ASSERT_TRUE(link.transport->Write({reinterpret_cast<const uint8_t*>(command.data()), command.size()}, 500, n));
    std::array<uint8_t, 64> reply{};
    ASSERT_TRUE(link.transport->Read(reply, 512, n));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(reply.data()), n), "DATA00001000");
    const std::vector<uint8_t> block(4096, 0x5A);
    ASSERT_TRUE(link.transport->Write(block, 120000, n));
    EXPECT_EQ(n, 4096u);
    EXPECT_FALSE(link.transport->Read(reply, 60000, n));
    EXPECT_NE(link.transport->lastError().find("longer than any fastboot reply"), std::string::npos);
    link.transport->Close();
    EXPECT_EQ(received.substr(0, 4), "FB01");
    EXPECT_EQ(received.substr(4, 8), std::string("\0\0\0\0\0\0\0\x11", 8));
    EXPECT_EQ(received.substr(12, 17), command);
    EXPECT_EQ(received.substr(29, 8), std::string("\0\0\0\0\0\0\x10\0", 8));
}

TEST(FastbootTcpLinkTest, PeerThatIsNotFastbootOrDropsMidReplyIsAnError) {
    {
        LoopbackPeer peer([](int fd) {
            ReadExactly(fd, 4);
            SendRaw(fd, "HTTP");
        });
        platform::Clock clock(1.0);
        auto link = engine::OpenFastbootTransport(clock, peer.name());
        EXPECT_FALSE(link.transport);
        EXPECT_NE(link.error.find("does not speak fastboot"), std::string::npos) << link.error;
    }
    LoopbackPeer peer([](int fd) {
        ReadExactly(fd, 4);
        SendRaw(fd, "FB01");
        SendRaw(fd, Packet("OK", 4));  // two bytes of four, then gone
    });
    platform::Clock clock(1.0);
    auto link = engine::OpenFastbootTransport(clock, peer.name());
    ASSERT_TRUE(link.transport) << link.error;
    std::array<uint8_t, 64> reply{};
    size_t n = 0;
    EXPECT_FALSE(link.transport->Read(reply, 60000, n));
}

// Through libusb itself: the bus is enumerated and a device that is not there is named as such.
TEST(FastbootUsbLinkTest, AbsentDeviceIsReportedByLibusbWithoutClaimingAnything) {
    platform::Clock clock(1.0);
    auto link = engine::OpenFastbootTransport(clock, "usb:255:255");
    EXPECT_FALSE(link.transport);
    const bool named = link.error.find("no USB device 255 on bus 255") != std::string::npos ||
                       link.error.find("libusb cannot be initialised") != std::string::npos;
    EXPECT_TRUE(named) << link.error;
    EXPECT_EQ(link.lasting, link.error.find("libusb cannot be initialised") != std::string::npos);
}

}  // namespace
}  // namespace flintcast::testing
