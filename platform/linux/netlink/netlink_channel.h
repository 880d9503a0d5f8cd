// Netlink channels and what runs over them: the dump loop that takes a
// snapshot, and the watch that tells whether a snapshot is still current.
// The kernel's route socket is one channel; tests script another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "netlink.h"

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
    // it queued. EAGAIN: nothing arrived in time; ENOBUFS: the kernel dropped
    // datagrams for want of room.
    virtual int Receive(uint8_t* buffer, size_t capacity, bool peek, NetlinkDatagram* datagram) = 0;
};

// The kernel's route socket.
class NetlinkSocket : public NetlinkChannel {
   public:
    NetlinkSocket() = default;
    ~NetlinkSocket() override;
    NetlinkSocket(const NetlinkSocket&) = delete;
    NetlinkSocket& operator=(const NetlinkSocket&) = delete;

    // Opens and binds the socket, subscribed to the given multicast groups.
    int Open(uint32_t groups, bool nonBlocking);
    // Adds a multicast group by number; where the kernel lacks it, nothing.
    void JoinGroup(unsigned group);
    // Whether the kernel checks our requests strictly and so applies the
    // route dump's table filter.
    bool StrictChecking() const
    {
        return strict_;
    }

    uint32_t Port() const override
    {
        return port_;
    }
    int Send(const uint8_t* request, size_t length) override;
    int Receive(uint8_t* buffer, size_t capacity, bool peek, NetlinkDatagram* datagram) override;

   private:
    int fd_ = -1;
    uint32_t port_ = 0;
    bool strict_ = false;
};

// Milliseconds on a clock that never jumps, and a wait of that many.
int64_t MonotonicMilliseconds();
void PauseMilliseconds(int64_t milliseconds);

// What the dump loop keeps from one dump to the next on one channel.
struct NetlinkDumper {
    uint32_t sequence = 0;  // of the last request; replies to older ones are skipped
    // Grown to the largest datagram met. Left uninitialised: the kernel
    // writes only what it sends, and zeroing 64 KiB costs more page faults
    // than a small dump costs in all.
    std::unique_ptr<uint8_t[]> buffer;
    size_t bufferSize = 0;
    // How the loop tells time and waits between redone dumps; tests script
    // both.
    int64_t (*clock)() = MonotonicMilliseconds;
    void (*pause)(int64_t milliseconds) = PauseMilliseconds;
};

// Dumps links, IPv4 addresses and IPv4 default routes into snapshot, and
// the next-hop objects when a route names one (resolved into gateways),
// redoing the whole set when the kernel flags a dump as interrupted, after
// a pause that starts at a millisecond and doubles up to kLongestDumpPause.
// Returns 0 or an errno value: EAGAIN when the dumps were still being
// interrupted kDumpRetryTime after the first began, EMSGSIZE for a datagram
// that could not be read whole.
int DumpSnapshot(NetlinkChannel& channel, NetlinkDumper& dumper, NetSnapshot& snapshot);

// Milliseconds.
constexpr int64_t kDumpRetryTime = 5000;
constexpr int64_t kLongestDumpPause = 32;

// How often a send or receive interrupted by a signal is issued again
// before the loop gives up with EINTR.
constexpr int kMaxInterruptions = 100;

// Reads every queued notification of a watch without waiting; true when
// any arrived or some were lost, and always when there is no watch.
bool DrainNotifications(NetlinkChannel* watch);

// The channels one sizing round of the adapter query works over.
struct QueryChannels {
    std::unique_ptr<NetlinkChannel> watch;  // null where the kernel refused the subscription
    std::unique_ptr<NetlinkChannel> dump;
};

// Opens the channels of a sizing round: the kernel's sockets, the watch
// first so that no change before the first dump slips by, unless a test has
// put its own opener in place. Returns 0 or an errno value.
int OpenQueryChannels(QueryChannels& channels);

typedef int (*QueryChannelOpener)(QueryChannels& channels);
// Replaces the opener (nullptr: the kernel's); returns the one before.
QueryChannelOpener SetQueryChannelOpener(QueryChannelOpener opener);
