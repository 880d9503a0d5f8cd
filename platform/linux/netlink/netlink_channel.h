// Netlink channels: the kernel's route socket is one; tests script
// another.
#pragma once

#include <cstddef>
#include <cstdint>

#include "posix.h"

// What one receive saw.
struct NetlinkDatagram {
    size_t length = 0;        // the datagram's whole length, even past the buffer
    bool truncated = false;   // the buffer held only part of it
    uint32_t senderPort = 0;  // 0 for the kernel
};

// One netlink endpoint. Operations return 0 or an errno value.
class NetlinkChannel {
   public:
    virtual ~NetlinkChannel() = default;
    // The port the kernel addresses our replies to.
    virtual uint32_t Port() const = 0;
    // Sends one request to the kernel.
    virtual int Send(const uint8_t* request, size_t length) = 0;
    // Takes the next datagram into buffer, or with peek copies it and leaves
    // it queued. EAGAIN: nothing arrived in time.
    virtual int Receive(uint8_t* buffer, size_t capacity, bool peek, NetlinkDatagram* datagram) = 0;
};

// The kernel's route socket.
class NetlinkSocket : public NetlinkChannel {
   public:
    // Opens and binds the socket.
    int Open();

    uint32_t Port() const override
    {
        return port_;
    }
    int Send(const uint8_t* request, size_t length) override;
    int Receive(uint8_t* buffer, size_t capacity, bool peek, NetlinkDatagram* datagram) override;

   private:
    Descriptor fd_;
    uint32_t port_ = 0;
};
