// The kernel's route socket: strict requests, whole lengths, interrupted
// calls.
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/net.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
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
#include "netlink_support.h"

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
    int dumped = DumpSnapshot(socket, dumper, snapshot);
    if (dumped == EBADMSG && EmulatorLeavesHostOrder()) {
        GTEST_SKIP() << OSTREL_HOST_ORDER_SKIP;
    }
    ASSERT_EQ(0, dumped);
    ASSERT_FALSE(snapshot.links.empty());
    EXPECT_TRUE(std::any_of(snapshot.addresses.begin(), snapshot.addresses.end(),
                            [](const NetAddress& a) { return a.address.bytes[0] == 127; }))
        << "no 127.x address in the address dump";
    bool nexthopsRefused = false;
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
        int sent = socket.Send(request, length);
        if (kind == DumpKind::kNexthops && sent == EOPNOTSUPP && OSTREL_TEST_EMULATOR[0] != '\0') {
            nexthopsRefused = true;
            continue;
        }
        ASSERT_EQ(0, sent);
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
    if (nexthopsRefused) {
        GTEST_SKIP() << "the next-hop dump: " OSTREL_TEST_EMULATOR
                        " refuses its request (EOPNOTSUPP)";
    }
}

// Every send, receive and bind of the process answered with EINTR from
// here on.
void InterruptSocketCalls()
{
    std::vector<sock_filter> filter = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr))};
    auto interrupt = [&filter](uint32_t call) {
        filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, call, 0, 1));
        filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EINTR));
    };
    interrupt(__NR_sendto);
    interrupt(__NR_recvmsg);
    interrupt(__NR_bind);
#ifdef __NR_socketcall
    // 32-bit x86 glibc makes every socket call through socketcall, whose
    // first argument (the low half of a 64-bit field) names the call.
    const uint32_t lowHalf = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 4 : 0;
    filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_socketcall, 0, 7));
    filter.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args) + lowHalf));
    interrupt(SYS_SENDTO);
    interrupt(SYS_RECVMSG);
    interrupt(SYS_BIND);
#endif
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    sock_fprog program = {static_cast<unsigned short>(filter.size()), filter.data()};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
        _exit(3);
    }
}

// Whether a seccomp filter can be set at all (qemu-user refuses them).
bool SeccompFiltersWork()
{
    pid_t child = fork();
    if (child == 0) {
        sock_filter allow = BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
        sock_fprog program = {1, &allow};
        _exit(prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
                      prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0
                  ? 0
                  : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

TEST(NetlinkKernel, CallsInterruptedForEverGiveUp)
{
    // Interrupted twice, then failing otherwise: the third call's answer.
    EXPECT_EQ(-3, RetryInterrupted([n = 0]() mutable {
        errno = ++n < 3 ? EINTR : EIO;
        return -n;
    }));
    if (OSTREL_TEST_EMULATOR[0] != '\0' && !SeccompFiltersWork()) {
        GTEST_SKIP() << OSTREL_TEST_EMULATOR " refuses PR_SET_SECCOMP";
    }
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
}
