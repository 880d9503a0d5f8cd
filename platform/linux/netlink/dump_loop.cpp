// The dump loop: a whole snapshot taken over a channel, redone while the
// kernel flags it raced.
#include "dump_loop.h"

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "messages.h"

namespace {

// The kernel fills a dump datagram up to the largest receive buffer it has
// seen, at most 32 KiB; offering less would only cost more datagrams.
const size_t kReceiveBufferSize = 64 * 1024;

// Far beyond any datagram a kernel builds; a length past it is a fault,
// never an allocation.
const size_t kMaxDatagramSize = 16 * 1024 * 1024;

void GrowBuffer(NetlinkDumper& dumper, size_t size)
{
    if (size > dumper.bufferSize) {
        dumper.buffer.reset(new uint8_t[size]);
        dumper.bufferSize = size;
    }
}

// Takes the next datagram whole into the dumper's buffer, growing it first:
// a read into too small a buffer loses the rest of the datagram for good.
int ReceiveWhole(NetlinkChannel& channel, NetlinkDumper& dumper, NetlinkDatagram* datagram)
{
    NetlinkDatagram next;
    int error = channel.Receive(nullptr, 0, true, &next);
    if (error != 0) {
        return error;
    }
    if (next.length <= kMaxDatagramSize) {
        GrowBuffer(dumper, next.length);
    }
    error = channel.Receive(dumper.buffer.get(), dumper.bufferSize, false, datagram);
    if (error == 0 && datagram->truncated) {
        // Only a part arrived; parsing it would make up a shorter dump.
        return EMSGSIZE;
    }
    return error;
}

int DumpOne(NetlinkChannel& channel, NetlinkDumper& dumper, DumpKind kind, NetSnapshot& snapshot,
            bool* interrupted)
{
    DumpReader reader;
    reader.kind = kind;
    reader.sequence = ++dumper.sequence;
    reader.portId = channel.Port();
    uint8_t request[64];
    size_t requestLength = 0;
    int error = BuildDumpRequest(kind, reader.sequence, request, sizeof(request), &requestLength);
    if (error == 0) {
        error = channel.Send(request, requestLength);
    }
    while (error == 0 && !reader.done) {
        NetlinkDatagram datagram;
        error = ReceiveWhole(channel, dumper, &datagram);
        if (error != 0) {
            break;
        }
        if (datagram.senderPort != 0) {
            continue;  // another process's, not the kernel's, whatever its length
        }
        if (datagram.length == 0) {
            error = EPIPE;
        } else {
            size_t length =
                datagram.length < dumper.bufferSize ? datagram.length : dumper.bufferSize;
            error = ReadDumpDatagram(reader, dumper.buffer.get(), length, snapshot);
        }
    }
    *interrupted = *interrupted || reader.interrupted;
    return error;
}

}  // namespace

void PauseMilliseconds(int64_t milliseconds)
{
    timespec wait = {static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000 * 1000000)};
    nanosleep(&wait, nullptr);
}

// A dump raced by a change is redone. How many dumps a busy namespace needs
// follows how fast it changes, and how long each takes follows its size, so
// the retries end on time: a count alone gives up within a second on a
// small host and would take minutes on a large one. The pause lets a burst
// of changes pass instead of meeting it again at once.
int DumpSnapshot(NetlinkChannel& channel, NetlinkDumper& dumper, NetSnapshot& snapshot)
{
    GrowBuffer(dumper, kReceiveBufferSize);
    const int64_t started = dumper.clock();
    int64_t pause = 1;
    for (;;) {
        snapshot = NetSnapshot();
        bool interrupted = false;
        int error = 0;
        for (DumpKind kind : {DumpKind::kLinks, DumpKind::kAddresses, DumpKind::kRoutes}) {
            if (error == 0) {
                error = DumpOne(channel, dumper, kind, snapshot, &interrupted);
            }
        }
        // Most hosts name no next-hop object, and they pay nothing for it.
        if (error == 0 && NeedsNexthops(snapshot)) {
            error = DumpOne(channel, dumper, DumpKind::kNexthops, snapshot, &interrupted);
        }
        if (error != 0) {
            return error;
        }
        if (!interrupted) {
            ResolveNexthops(snapshot);
            return 0;
        }
        int64_t elapsed = dumper.clock() - started;
        if (elapsed < 0 || elapsed >= kDumpRetryTime) {
            return EAGAIN;
        }
        dumper.pause(std::min(pause, kDumpRetryTime - elapsed));
        pause = std::min(pause * 2, kLongestDumpPause);
    }
}
