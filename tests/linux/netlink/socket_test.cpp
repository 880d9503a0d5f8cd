// The kernel's route socket: strict requests, whole lengths, interrupted
// calls.
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "../descriptor_count.h"
#include "attributes.h"
#include "dump_loop.h"
#include "messages.h"
#include "netlink_channel.h"

namespace {

// Every RTM_NEWROUTE of one route dump sent with our request on a raw
// socket: the table of each route, all of them IPv4.
std::vector<uint32_t> DumpRouteTables(bool strict)
{
    std::vector<uint32_t> tables;
    Descriptor fd(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    int on = strict;
    EXPECT_EQ(0, setsockopt(fd.get(), SOL_NETLINK, NETLINK_GET_STRICT_CHK, &on, sizeof(on)));
    timeval timeout = {5, 0};
    setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    uint8_t request[64];
    size_t length = 0;
    EXPECT_EQ(0, BuildDumpRequest(DumpKind::kRoutes, 1, request, sizeof(request), &length));
    EXPECT_EQ(static_cast<ssize_t>(length), send(fd.get(), request, length, 0));
    std::vector<uint8_t> buffer(64 * 1024);
    for (ssize_t got; (got = recv(fd.get(), buffer.data(), buffer.size(), 0)) > 0;) {
        for (size_t at = 0; at + sizeof(nlmsghdr) <= static_cast<size_t>(got);) {
            nlmsghdr header = ReadValue<nlmsghdr>(&buffer[at]);
            if (header.nlmsg_type == NLMSG_DONE || header.nlmsg_type == NLMSG_ERROR) {
                EXPECT_EQ(0, ReadValue<int>(&buffer[at + NLMSG_HDRLEN])) << "route dump refused";
                return tables;
            }
            rtmsg route = ReadValue<rtmsg>(&buffer[at + NLMSG_HDRLEN]);
            EXPECT_EQ(AF_INET, route.rtm_family);
            tables.push_back(route.rtm_table);
            at += NLMSG_ALIGN(header.nlmsg_len);
        }
    }
    ADD_FAILURE() << "route dump: " << strerror(errno);
    return tables;
}

}  // namespace

TEST(NetlinkKernel, StrictRequestsAcceptedAndRoutesFilteredToTheMainTable)
{
    DescriptorsKept kept;
    NetlinkSocket socket;
    ASSERT_EQ(0, socket.Open());
    // Strict checking refuses a request whose fixed header carries anything
    // but the family and, for routes, the table filter: every dump coming
    // back whole is what tests the requests.
    NetSnapshot snapshot;
    NetlinkDumper dumper;
    ASSERT_EQ(0, DumpSnapshot(socket, dumper, snapshot));
    ASSERT_FALSE(snapshot.links.empty());
    EXPECT_TRUE(std::any_of(snapshot.addresses.begin(), snapshot.addresses.end(),
                            [](const NetAddress& a) { return a.address.bytes[0] == 127; }))
        << "no 127.x address in the address dump";
    for (DumpKind kind :
         {DumpKind::kLinks, DumpKind::kAddresses, DumpKind::kRoutes, DumpKind::kNexthops}) {
        uint8_t request[64];
        size_t length = 0, fitted = 0;
        ASSERT_EQ(0, BuildDumpRequest(kind, 1, request, sizeof(request), &length));
        EXPECT_EQ(0, BuildDumpRequest(kind, 1, request, length, &fitted));
        EXPECT_EQ(length, fitted);
        EXPECT_EQ(EOVERFLOW, BuildDumpRequest(kind, 1, request, length - 1, &fitted));
        // Next-hop objects are dumped only when a route names one: each
        // request goes to the kernel here, which refuses a short header.
        ASSERT_EQ(0, socket.Send(request, length));
        // The dump loop sizes its buffer from a peek; a length cut to what
        // fitted, or a cut not flagged, would have it parse part of a datagram.
        NetlinkDatagram peeked, part, datagram;
        ASSERT_EQ(0, socket.Receive(nullptr, 0, true, &peeked));
        ASSERT_EQ(0, socket.Receive(request, sizeof(nlmsghdr), true, &part));
        EXPECT_TRUE(peeked.length > sizeof(nlmsghdr) && peeked.truncated && part.truncated);
        EXPECT_EQ(peeked.length, part.length);
        DumpReader reader{kind, 1, socket.Port()};
        std::vector<uint8_t> buffer(64 * 1024);
        while (!reader.done &&
               socket.Receive(buffer.data(), buffer.size(), false, &datagram) == 0) {
            EXPECT_EQ(0u, datagram.senderPort);
            EXPECT_EQ(0, ReadDumpDatagram(reader, buffer.data(), datagram.length, snapshot));
        }
        EXPECT_TRUE(reader.done);
    }

    // Local and broadcast routes live in the local table, so without the
    // filter some other table shows up as soon as lo is up.
    std::vector<uint32_t> all = DumpRouteTables(false);
    std::vector<uint32_t> main = DumpRouteTables(true);
    EXPECT_EQ(main.size(), size_t(std::count(main.begin(), main.end(), RT_TABLE_MAIN)));
    EXPECT_EQ(main.size(), size_t(std::count(all.begin(), all.end(), RT_TABLE_MAIN)));
}

// Every send, receive and bind of the process answered with EINTR from
// here on.
void InterruptSocketCalls()
{
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_sendto, 3, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_recvmsg, 2, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_bind, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EINTR),
    };
    sock_fprog program = {sizeof(filter) / sizeof(filter[0]), filter};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
        _exit(3);
    }
}

TEST(NetlinkKernel, CallsInterruptedForEverGiveUp)
{
    EXPECT_EXIT(
        {
            alarm(20);  // a loop that never gives up dies here
            NetlinkSocket socket;
            if (socket.Open() != 0) {
                _exit(2);
            }
            InterruptSocketCalls();
            uint8_t request[64];
            size_t length = 0;
            int built = BuildDumpRequest(DumpKind::kLinks, 1, request, sizeof(request), &length);
            NetlinkDatagram datagram;
            bool sendGaveUp = built == 0 && socket.Send(request, length) == EINTR;
            bool receiveGaveUp = socket.Receive(nullptr, 0, true, &datagram) == EINTR;
            // A socket that cannot be bound, or had, is no socket.
            bool bindFailed = NetlinkSocket().Open() == EINTR;
            rlimit none = {};
            bool noSocket =
                setrlimit(RLIMIT_NOFILE, &none) == 0 && NetlinkSocket().Open() == EMFILE;
            _exit(sendGaveUp && receiveGaveUp && bindFailed && noSocket ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    // Interrupted twice, then failing otherwise: the third call's answer.
    EXPECT_EQ(-3, RetryInterrupted([n = 0]() mutable {
        errno = ++n < 3 ? EINTR : EIO;
        return -n;
    }));
}
