// The kernel's route socket as a channel.
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

#include "netlink_channel.h"
#include "posix.h"

int NetlinkSocket::Open()
{
    fd_.Reset(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (fd_.get() < 0) {
        return errno;
    }
    // Lets the kernel filter the route dump to the main table instead of
    // sending every route of every table. Kernels before 4.20 lack the
    // option and filter nothing, which the parser copes with.
    int one = 1;
    setsockopt(fd_.get(), SOL_NETLINK, NETLINK_GET_STRICT_CHK, &one, sizeof(one));
    // A kernel that stops answering must not hang the tool.
    timeval timeout = {10, 0};
    sockaddr_nl local = {};
    local.nl_family = AF_NETLINK;
    socklen_t size = sizeof(local);
    if (setsockopt(fd_.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout)) != 0 ||
        bind(fd_.get(), reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
        getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&local), &size) != 0) {
        int error = errno;
        fd_.Reset();
        return error;
    }
    port_ = local.nl_pid;
    return 0;
}

int NetlinkSocket::Send(const uint8_t* request, size_t length)
{
    sockaddr_nl kernel = {};
    kernel.nl_family = AF_NETLINK;
    auto sent = RetryInterrupted([&] {
        return sendto(fd_.get(), request, length, 0, reinterpret_cast<sockaddr*>(&kernel),
                      sizeof(kernel));
    });
    return sent < 0 ? errno : 0;
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
    ssize_t received = RetryInterrupted([&] { return recvmsg(fd_.get(), &header, flags); });
    if (received < 0) {
        return errno;
    }
    datagram->length = static_cast<size_t>(received);
    datagram->truncated = (header.msg_flags & MSG_TRUNC) != 0;
    datagram->senderPort = sender.nl_pid;
    return 0;
}
