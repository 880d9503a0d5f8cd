#include "netlink_channel.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace {

// The kernel fills a dump datagram up to the largest receive buffer it has
// seen, at most 32 KiB; offering less would only cost more datagrams.
const size_t kReceiveBufferSize = 64 * 1024;

// Far beyond any datagram a kernel builds; a length past it is a fault,
// never an allocation.
const size_t kMaxDatagramSize = 16 * 1024 * 1024;

int OpenKernelChannels(QueryChannels& channels)
{
    // The watch only spares a second snapshot within one sizing round. Where
    // the kernel refuses its groups (some sandboxes do), there is no watch
    // and every call takes a fresh snapshot instead.
    std::unique_ptr<NetlinkSocket> watch(new NetlinkSocket);
    if (watch->Open(RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE, true) == 0) {
        // A changed next-hop object changes gateways without touching a
        // route. Its group is past the bind mask, and kernels before 5.3
        // lack it: they have no such objects either.
        watch->JoinGroup(RTNLGRP_NEXTHOP);
        channels.watch = std::move(watch);
    }
    std::unique_ptr<NetlinkSocket> dump(new NetlinkSocket);
    int error = dump->Open(0, false);
    if (error == 0) {
        channels.dump = std::move(dump);
    }
    return error;
}

QueryChannelOpener queryChannelOpener = OpenKernelChannels;

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
    size_t requestLength = BuildDumpRequest(kind, reader.sequence, request, sizeof(request));
    int error = channel.Send(request, requestLength);
    while (error == 0 && !reader.done) {
        NetlinkDatagram datagram;
        error = ReceiveWhole(channel, dumper, &datagram);
        if (error != 0) {
            break;
        }
        if (datagram.length == 0) {
            error = EPIPE;
        } else if (datagram.senderPort != 0) {
            continue;  // another process's, not the kernel's
        } else {
            size_t length =
                datagram.length < dumper.bufferSize ? datagram.length : dumper.bufferSize;
            if (!ReadDumpDatagram(reader, dumper.buffer.get(), length, snapshot)) {
                error = reader.error;
            }
        }
    }
    *interrupted = *interrupted || reader.interrupted;
    return error;
}

}  // namespace

NetlinkSocket::~NetlinkSocket()
{
    if (fd_ >= 0) {
        close(fd_);
    }
}

int NetlinkSocket::Open(uint32_t groups, bool nonBlocking)
{
    int flags = SOCK_RAW | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0);
    fd_ = socket(AF_NETLINK, flags, NETLINK_ROUTE);
    if (fd_ < 0) {
        return errno;
    }
    sockaddr_nl local = {};
    local.nl_family = AF_NETLINK;
    local.nl_groups = groups;
    socklen_t size = sizeof(local);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
        // Half-open would read as a socket that never hears of a change.
        int error = errno;
        close(fd_);
        fd_ = -1;
        return error;
    }
    port_ = local.nl_pid;
    // Lets the kernel filter the route dump to the main table instead of
    // sending every route of every table. Kernels before 4.20 lack the
    // option and filter nothing, which the parser copes with.
    int one = 1;
    strict_ = setsockopt(fd_, SOL_NETLINK, NETLINK_GET_STRICT_CHK, &one, sizeof(one)) == 0;
    if (!nonBlocking) {
        // A kernel that stops answering must not hang the tool.
        timeval timeout = {10, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    }
    return 0;
}

void NetlinkSocket::JoinGroup(unsigned group)
{
    setsockopt(fd_, SOL_NETLINK, NETLINK_ADD_MEMBERSHIP, &group, sizeof(group));
}

int NetlinkSocket::Send(const uint8_t* request, size_t length)
{
    sockaddr_nl kernel = {};
    kernel.nl_family = AF_NETLINK;
    for (int attempt = 0; attempt < kMaxInterruptions; ++attempt) {
        if (sendto(fd_, request, length, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof(kernel)) >=
            0) {
            return 0;
        }
        if (errno != EINTR) {
            return errno;
        }
    }
    return EINTR;
}

int NetlinkSocket::Receive(uint8_t* buffer, size_t capacity, bool peek, NetlinkDatagram* datagram)
{
    sockaddr_nl sender = {};
    iovec io = {buffer, capacity};
    msghdr header = {};
    header.msg_name = &sender;
    header.msg_namelen = sizeof(sender);
    header.msg_iov = &io;
    header.msg_iovlen = 1;
    // MSG_TRUNC: the answer is the datagram's whole length, not what fitted.
    int flags = MSG_TRUNC | (peek ? MSG_PEEK : 0);
    ssize_t received = -1;
    for (int attempt = 0; attempt < kMaxInterruptions && received < 0; ++attempt) {
        received = recvmsg(fd_, &header, flags);
        if (received < 0 && errno != EINTR) {
            return errno;
        }
    }
    if (received < 0) {
        return EINTR;
    }
    datagram->length = static_cast<size_t>(received);
    datagram->truncated = (header.msg_flags & MSG_TRUNC) != 0;
    datagram->senderPort = sender.nl_pid;
    return 0;
}

int64_t MonotonicMilliseconds()
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

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
        snapshot.links.clear();
        snapshot.texts.clear();
        snapshot.addresses.clear();
        snapshot.gateways.clear();
        snapshot.nexthops.clear();
        snapshot.nexthopMembers.clear();
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

bool DrainNotifications(NetlinkChannel* watch)
{
    if (watch == nullptr) {
        return true;  // nothing can be taken as unchanged
    }
    bool changed = false;
    for (;;) {
        // Only the arrival counts, so each notification is dropped unread.
        NetlinkDatagram datagram;
        int error = watch->Receive(nullptr, 0, false, &datagram);
        if (error == 0 || error == ENOBUFS) {
            changed = true;  // ENOBUFS: notifications were lost
        } else if (error == EAGAIN || error == EWOULDBLOCK) {
            return changed;
        } else {
            return true;
        }
    }
}

int OpenQueryChannels(QueryChannels& channels)
{
    return queryChannelOpener(channels);
}

QueryChannelOpener SetQueryChannelOpener(QueryChannelOpener opener)
{
    QueryChannelOpener before = queryChannelOpener;
    queryChannelOpener = opener != nullptr ? opener : OpenKernelChannels;
    return before;
}
