// The dump loop that takes a snapshot over a channel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "netlink.h"
#include "netlink_channel.h"
#include "posix.h"

// A wait of that many milliseconds.
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
