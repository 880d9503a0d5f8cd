// The rtnetlink parser on hand-built messages, and the real kernel.
#include "netlink/netlink.h"

#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/if_addr.h>
#include <linux/if_arp.h>
#include <linux/if_link.h>
#include <linux/if_tun.h>
#include <linux/netlink.h>
#include <linux/nexthop.h>
#include <linux/rtnetlink.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "adapter_query.h"
#include "netlink/dump_loop.h"

namespace {

const uint32_t kSequence = 7;
const uint32_t kPort = 4242;

// Appends netlink messages and attributes to one datagram.
class Datagram {
   public:
    void Begin(uint16_t type, uint16_t flags = NLM_F_MULTI, uint32_t sequence = kSequence,
               uint32_t port = kPort)
    {
        start_ = bytes_.size();
        nlmsghdr header = {};
        header.nlmsg_type = type;
        header.nlmsg_flags = flags;
        header.nlmsg_seq = sequence;
        header.nlmsg_pid = port;
        Put(&header, sizeof(header));
    }
    template <typename T>
    void Fixed(const T& value)
    {
        Put(&value, sizeof(value));
    }
    void Attribute(uint16_t type, const void* data, size_t size)
    {
        rtattr header = {};
        header.rta_len = static_cast<unsigned short>(RTA_LENGTH(size));
        header.rta_type = type;
        Put(&header, sizeof(header));
        Put(data, size);
    }
    void Text(uint16_t type, const std::string& text)
    {
        Attribute(type, text.c_str(), text.size() + 1);
    }
    void Word(uint16_t type, uint32_t value)
    {
        Attribute(type, &value, sizeof(value));
    }
    size_t BeginNest(uint16_t type)
    {
        size_t at = bytes_.size();
        Attribute(type, nullptr, 0);
        return at;
    }
    void EndNest(size_t at)
    {
        unsigned short size = static_cast<unsigned short>(bytes_.size() - at);
        memcpy(&bytes_[at], &size, sizeof(size));
    }
    void End()
    {
        uint32_t size = static_cast<uint32_t>(bytes_.size() - start_);
        memcpy(&bytes_[start_], &size, sizeof(size));
    }
    void Done(uint16_t flags = NLM_F_MULTI)
    {
        Begin(NLMSG_DONE, flags);
        Fixed(int32_t(0));
        End();
    }
    std::vector<uint8_t>& Bytes()
    {
        return bytes_;
    }
    const uint8_t* Message() const
    {
        return bytes_.data() + start_;
    }
    size_t MessageSize() const
    {
        return bytes_.size() - start_;
    }

   private:
    void Put(const void* data, size_t size)
    {
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        bytes_.insert(bytes_.end(), bytes, bytes + size);
        bytes_.resize(NLMSG_ALIGN(bytes_.size()), 0);
    }
    std::vector<uint8_t> bytes_;
    size_t start_ = 0;
};

void AddLink(Datagram& d, int index, uint16_t type, const std::string& name,
             const std::string& kind = "")
{
    d.Begin(RTM_NEWLINK);
    ifinfomsg info = {};
    info.ifi_index = index;
    info.ifi_type = type;
    d.Fixed(info);
    d.Text(IFLA_IFNAME, name);
    if (!kind.empty()) {
        size_t nest = d.BeginNest(IFLA_LINKINFO);
        d.Text(IFLA_INFO_KIND, kind);
        d.EndNest(nest);
    }
    d.End();
}

void AddAddress(Datagram& d, uint32_t index, const uint8_t (&local)[4], uint8_t prefix,
                uint32_t flags, uint32_t valid = 0xFFFFFFFFu, uint32_t tstamp = 0)
{
    d.Begin(RTM_NEWADDR);
    ifaddrmsg info = {};
    info.ifa_family = AF_INET;
    info.ifa_prefixlen = prefix;
    info.ifa_index = index;
    d.Fixed(info);
    d.Attribute(IFA_LOCAL, local, 4);
    d.Word(IFA_FLAGS, flags);
    ifa_cacheinfo cache = {valid, valid, 0, tstamp};
    d.Attribute(IFA_CACHEINFO, &cache, sizeof(cache));
    d.End();
}

rtmsg DefaultRoute()
{
    rtmsg route = {};
    route.rtm_family = AF_INET;
    route.rtm_table = RT_TABLE_MAIN;
    route.rtm_type = RTN_UNICAST;
    return route;
}

// Appends one struct rtnexthop with a single nested attribute.
void AddNextHop(std::vector<uint8_t>& hops, int index, uint16_t type, const void* payload,
                size_t size)
{
    rtnexthop hop = {};
    hop.rtnh_len = static_cast<unsigned short>(RTNH_LENGTH(RTA_SPACE(size)));
    hop.rtnh_ifindex = index;
    rtattr attribute = {static_cast<unsigned short>(RTA_LENGTH(size)), type};
    const uint8_t* parts[] = {reinterpret_cast<uint8_t*>(&hop),
                              reinterpret_cast<uint8_t*>(&attribute),
                              static_cast<const uint8_t*>(payload)};
    size_t sizes[] = {sizeof(hop), sizeof(attribute), size};
    for (int p = 0; p < 3; ++p) {
        hops.insert(hops.end(), parts[p], parts[p] + sizes[p]);
    }
    hops.resize(RTNH_ALIGN(hops.size()), 0);
}

DumpReader Reader(DumpKind kind)
{
    DumpReader reader;
    reader.kind = kind;
    reader.sequence = kSequence;
    reader.portId = kPort;
    return reader;
}

bool Feed(DumpReader& reader, Datagram& d, NetSnapshot& snapshot)
{
    return ReadDumpDatagram(reader, d.Bytes().data(), d.Bytes().size(), snapshot);
}

}  // namespace

TEST(NetlinkParse, LinkTakesNameAliasKindAndWholeAddress)
{
    Datagram d;
    d.Begin(RTM_NEWLINK);
    ifinfomsg info = {};
    info.ifi_index = 9;
    info.ifi_type = ARPHRD_INFINIBAND;
    d.Fixed(info);
    d.Word(0x7FFF, 1);  // an attribute this reader does not know
    d.Text(IFLA_IFNAME, "ib0");
    uint8_t hardware[20];
    for (int i = 0; i < 20; ++i) {
        hardware[i] = static_cast<uint8_t>(0xF0 + i);
    }
    d.Attribute(IFLA_ADDRESS, hardware, sizeof(hardware));
    // 254 ASCII bytes then a two-byte sequence straddling the kernel's
    // 255-byte limit: the record writer cuts it further.
    std::string alias = std::string(254, 'a') + "\xc3\xa9" + "tail";
    d.Text(IFLA_IFALIAS, alias);
    size_t nest = d.BeginNest(IFLA_LINKINFO);
    d.Text(IFLA_INFO_KIND, "ipoib");
    d.EndNest(nest);
    d.End();

    NetSnapshot snapshot;
    NetLink link;
    ASSERT_TRUE(ParseLinkMessage(d.Message(), d.MessageSize(), link, snapshot.texts));
    EXPECT_EQ(9u, link.index);
    EXPECT_EQ(ARPHRD_INFINIBAND, link.type);
    EXPECT_STREQ("ib0", link.name);
    EXPECT_STREQ("ipoib", link.kind);
    EXPECT_EQ(std::string(254, 'a'), FindLinkAlias(snapshot, link));
    EXPECT_EQ(20, link.addressLength);
    EXPECT_EQ(0, memcmp(hardware, link.address, sizeof(link.address)));
}

TEST(NetlinkParse, TunTypeComesFromTheKindsDataBeforeOrAfterTheKind)
{
    for (bool dataFirst : {false, true}) {
        Datagram d;
        d.Begin(RTM_NEWLINK);
        d.Fixed(ifinfomsg{});
        size_t info = d.BeginNest(IFLA_LINKINFO);
        if (!dataFirst) {
            d.Text(IFLA_INFO_KIND, "tun");
        }
        size_t data = d.BeginNest(IFLA_INFO_DATA);
        d.Word(IFLA_TUN_OWNER, 0);
        uint8_t tap = IFF_TAP;
        d.Attribute(IFLA_TUN_TYPE, &tap, sizeof(tap));
        d.EndNest(data);
        if (dataFirst) {
            d.Text(IFLA_INFO_KIND, "tun");
        }
        d.EndNest(info);
        d.End();
        NetLink link;
        std::string texts;
        ASSERT_TRUE(ParseLinkMessage(d.Message(), d.MessageSize(), link, texts));
        EXPECT_STREQ("tun", link.kind);
        EXPECT_EQ(IFF_TAP, link.tunType) << dataFirst;
    }
}

TEST(NetlinkParse, UnterminatedNameIsCutToItsField)
{
    Datagram d;
    d.Begin(RTM_NEWLINK);
    d.Fixed(ifinfomsg{});
    std::string name(40, 'n');
    d.Attribute(IFLA_IFNAME, name.data(), name.size());
    d.End();
    NetLink link;
    std::string texts;
    ASSERT_TRUE(ParseLinkMessage(d.Message(), d.MessageSize(), link, texts));
    EXPECT_EQ(std::string(15, 'n'), link.name);
}

TEST(NetlinkParse, TruncatedAttributeIsSkippedAndEarlierOnesKept)
{
    Datagram d;
    d.Begin(RTM_NEWLINK);
    d.Fixed(ifinfomsg{});
    d.Text(IFLA_IFNAME, "eth0");
    d.Text(IFLA_IFALIAS, "uplink");
    d.End();
    // The alias claims more bytes than the message holds.
    std::vector<uint8_t> bytes(d.Message(), d.Message() + d.MessageSize());
    size_t aliasAt = NLMSG_SPACE(sizeof(ifinfomsg)) + RTA_SPACE(5);
    unsigned short lie = 200;
    memcpy(&bytes[aliasAt], &lie, sizeof(lie));
    NetLink link;
    std::string texts;
    ASSERT_TRUE(ParseLinkMessage(bytes.data(), bytes.size(), link, texts));
    EXPECT_STREQ("eth0", link.name);
    EXPECT_EQ(0u, link.aliasLength);
    EXPECT_TRUE(texts.empty());
    // A header too short for its fixed part is malformed.
    EXPECT_FALSE(ParseLinkMessage(bytes.data(), NLMSG_HDRLEN + 4, link, texts));
}

TEST(NetlinkParse, AddressFlagsLifetimeAndPeerFallback)
{
    Datagram d;
    const uint8_t local[4] = {10, 1, 2, 3};
    AddAddress(d, 4, local, 24, IFA_F_SECONDARY, 3600, 12345);
    NetAddress address;
    bool isInet = false;
    ASSERT_TRUE(ParseAddressMessage(d.Message(), d.MessageSize(), address, &isInet));
    ASSERT_TRUE(isInet);
    EXPECT_EQ(4u, address.index);
    EXPECT_EQ(0, memcmp(local, address.address, 4));
    EXPECT_EQ(24, address.prefixLength);
    EXPECT_TRUE(address.flags & IFA_F_SECONDARY);
    EXPECT_TRUE(address.finite);
    EXPECT_EQ(3600u, address.validSeconds);
    EXPECT_EQ(12345u, address.updated);

    Datagram forever;
    AddAddress(forever, 4, local, 24, 0);
    ASSERT_TRUE(ParseAddressMessage(forever.Message(), forever.MessageSize(), address, &isInet));
    EXPECT_FALSE(address.finite);

    Datagram peerOnly;
    peerOnly.Begin(RTM_NEWADDR);
    ifaddrmsg info = {};
    info.ifa_family = AF_INET;
    info.ifa_index = 5;
    peerOnly.Fixed(info);
    const uint8_t peer[4] = {192, 0, 2, 9};
    peerOnly.Attribute(IFA_ADDRESS, peer, 4);
    peerOnly.End();
    ASSERT_TRUE(ParseAddressMessage(peerOnly.Message(), peerOnly.MessageSize(), address, &isInet));
    ASSERT_TRUE(isInet);
    EXPECT_EQ(0, memcmp(peer, address.address, 4));
    EXPECT_FALSE(address.finite);
}

TEST(NetlinkParse, MultipathDefaultRouteOfMainTableOnly)
{
    Datagram d;
    d.Begin(RTM_NEWROUTE);
    rtmsg route = DefaultRoute();
    route.rtm_table = RT_TABLE_UNSPEC;  // the real table is in RTA_TABLE
    d.Fixed(route);
    d.Word(RTA_TABLE, RT_TABLE_MAIN);
    d.Word(RTA_PRIORITY, 50);
    std::vector<uint8_t> hops;
    for (int i = 0; i < 2; ++i) {
        uint8_t address[4] = {10, 0, 0, static_cast<uint8_t>(1 + i)};
        AddNextHop(hops, 3 + i, RTA_GATEWAY, address, sizeof(address));
    }
    d.Attribute(RTA_MULTIPATH, hops.data(), hops.size());
    d.End();
    std::vector<NetGateway> gateways;
    ASSERT_TRUE(ParseRouteMessage(d.Message(), d.MessageSize(), gateways));
    ASSERT_EQ(2u, gateways.size());
    EXPECT_EQ(3u, gateways[0].index);
    EXPECT_EQ(1, gateways[0].address[3]);
    EXPECT_EQ(4u, gateways[1].index);
    EXPECT_EQ(2, gateways[1].address[3]);
    EXPECT_EQ(50u, gateways[1].priority);

    // Another table, a prefix route and a local route are not gateways.
    for (int variant = 0; variant < 3; ++variant) {
        Datagram other;
        other.Begin(RTM_NEWROUTE);
        rtmsg r = DefaultRoute();
        if (variant == 0) {
            r.rtm_table = 100;
        } else if (variant == 1) {
            r.rtm_dst_len = 24;
        } else {
            r.rtm_type = RTN_LOCAL;
        }
        other.Fixed(r);
        other.Word(RTA_OIF, 3);
        other.End();
        gateways.clear();
        ASSERT_TRUE(ParseRouteMessage(other.Message(), other.MessageSize(), gateways));
        EXPECT_TRUE(gateways.empty()) << "variant " << variant;
    }
}

TEST(NetlinkParse, NextHopViaAnotherFamilyIsNoGateway)
{
    // RTA_VIA: a 16-bit family, then the address.
    uint8_t inet6[2 + 16] = {};
    uint8_t inet[2 + 4] = {0, 0, 10, 0, 0, 7};
    const uint16_t families[] = {AF_INET6, AF_INET};
    memcpy(inet6, &families[0], 2);
    memcpy(inet, &families[1], 2);
    std::vector<uint8_t> hops;
    AddNextHop(hops, 4, RTA_VIA, inet6, sizeof(inet6));
    AddNextHop(hops, 5, RTA_VIA, inet, sizeof(inet));
    std::vector<NetGateway> gateways;
    for (bool multipath : {false, true}) {
        Datagram d;
        d.Begin(RTM_NEWROUTE);
        d.Fixed(DefaultRoute());
        if (multipath) {
            d.Attribute(RTA_MULTIPATH, hops.data(), hops.size());
        } else {
            d.Word(RTA_OIF, 3);
            d.Attribute(RTA_VIA, inet6, sizeof(inet6));
        }
        d.End();
        ASSERT_TRUE(ParseRouteMessage(d.Message(), d.MessageSize(), gateways));
    }
    // Only the IPv4 hop of the multipath route.
    ASSERT_EQ(1u, gateways.size());
    EXPECT_EQ(5u, gateways[0].index);
    EXPECT_EQ(7, gateways[0].address[3]);
}

TEST(NetlinkDump, AnswersMeaningNoneEndTheDumpEmpty)
{
    // A fresh namespace has no main table to filter routes on; a kernel
    // without IPv4 refuses the family. Anything else is still a failure.
    struct Case {
        DumpKind kind;
        uint16_t type;
        int code;
        int error;  // 0: read as an empty dump
    };
    const Case cases[] = {
        {DumpKind::kRoutes, NLMSG_DONE, -ENOENT, 0},
        {DumpKind::kRoutes, NLMSG_ERROR, -EOPNOTSUPP, 0},
        {DumpKind::kAddresses, NLMSG_DONE, -EAFNOSUPPORT, 0},
        {DumpKind::kAddresses, NLMSG_ERROR, -EOPNOTSUPP, 0},
        {DumpKind::kAddresses, NLMSG_DONE, -ENOENT, ENOENT},
        {DumpKind::kLinks, NLMSG_DONE, -EOPNOTSUPP, EOPNOTSUPP},
        {DumpKind::kRoutes, NLMSG_DONE, -EPERM, EPERM},
        {DumpKind::kRoutes, NLMSG_ERROR, ENOENT, EPROTO},  // a positive code is no errno
    };
    for (const Case& c : cases) {
        Datagram d;
        d.Begin(c.type);
        d.Fixed(int32_t(c.code));
        d.End();
        DumpReader reader = Reader(c.kind);
        NetSnapshot snapshot;
        EXPECT_EQ(c.error == 0, Feed(reader, d, snapshot)) << c.type << " " << c.code;
        EXPECT_EQ(c.error, reader.error) << c.type << " " << c.code;
        if (c.error == 0) {
            EXPECT_TRUE(reader.done);
        }
    }
}

TEST(NetlinkDump, ReadsToDoneAndNotesInterruption)
{
    Datagram d;
    AddLink(d, 1, ARPHRD_LOOPBACK, "lo");
    AddLink(d, 2, ARPHRD_ETHER, "stale", "veth");
    d.Bytes().resize(d.Bytes().size());
    Datagram second;
    AddLink(second, 3, ARPHRD_ETHER, "eth0");
    second.Begin(RTM_NEWLINK, NLM_F_MULTI, kSequence + 1);  // an older request's reply
    second.Fixed(ifinfomsg{});
    second.End();
    second.Done(NLM_F_MULTI | NLM_F_DUMP_INTR);

    DumpReader reader = Reader(DumpKind::kLinks);
    NetSnapshot snapshot;
    ASSERT_TRUE(Feed(reader, d, snapshot));
    EXPECT_FALSE(reader.done);
    EXPECT_FALSE(reader.interrupted);
    ASSERT_TRUE(Feed(reader, second, snapshot));
    EXPECT_TRUE(reader.done);
    EXPECT_TRUE(reader.interrupted);
    ASSERT_EQ(3u, snapshot.links.size());
    EXPECT_STREQ("eth0", snapshot.links[2].name);
}

TEST(NetlinkDump, LyingLengthsAndKernelErrorsFail)
{
    NetSnapshot snapshot;
    Datagram d;
    AddLink(d, 1, ARPHRD_LOOPBACK, "lo");
    std::vector<uint8_t> bytes = d.Bytes();
    for (uint32_t lie : {uint32_t(bytes.size() + 4), uint32_t(8), uint32_t(0xFFFFFFFF)}) {
        memcpy(bytes.data(), &lie, sizeof(lie));
        DumpReader reader = Reader(DumpKind::kLinks);
        EXPECT_FALSE(ReadDumpDatagram(reader, bytes.data(), bytes.size(), snapshot)) << lie;
        EXPECT_EQ(EBADMSG, reader.error);
    }
    // A datagram cut inside a header.
    DumpReader cut = Reader(DumpKind::kLinks);
    EXPECT_FALSE(ReadDumpDatagram(cut, d.Bytes().data(), 10, snapshot));
    EXPECT_TRUE(snapshot.links.empty());

    Datagram error;
    error.Begin(NLMSG_ERROR);
    nlmsgerr body = {};
    body.error = -EPERM;
    error.Fixed(body);
    error.End();
    DumpReader reader = Reader(DumpKind::kRoutes);
    EXPECT_FALSE(Feed(reader, error, snapshot));
    EXPECT_EQ(EPERM, reader.error);
}

namespace {

// Every RTM_NEWROUTE of one route dump sent with our request on a raw
// socket: the table of each route.
std::vector<uint32_t> DumpRouteTables(bool strict)
{
    std::vector<uint32_t> tables;
    int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) {
        ADD_FAILURE() << "netlink socket: " << strerror(errno);
        return tables;
    }
    int one = 1;
    if (strict) {
        EXPECT_EQ(0, setsockopt(fd, SOL_NETLINK, NETLINK_GET_STRICT_CHK, &one, sizeof(one)));
    }
    timeval timeout = {5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    uint8_t request[64];
    size_t length = BuildDumpRequest(DumpKind::kRoutes, 1, request, sizeof(request));
    EXPECT_EQ(static_cast<ssize_t>(length), send(fd, request, length, 0));
    std::vector<uint8_t> buffer(64 * 1024);
    bool done = false;
    while (!done) {
        ssize_t received = recv(fd, buffer.data(), buffer.size(), 0);
        if (received <= 0) {
            ADD_FAILURE() << "route dump: " << strerror(errno);
            break;
        }
        for (size_t at = 0; at + sizeof(nlmsghdr) <= static_cast<size_t>(received);) {
            nlmsghdr header;
            memcpy(&header, &buffer[at], sizeof(header));
            if (header.nlmsg_type == NLMSG_DONE || header.nlmsg_type == NLMSG_ERROR) {
                int code = 0;
                memcpy(&code, &buffer[at + NLMSG_HDRLEN], sizeof(code));
                EXPECT_EQ(0, code) << "kernel refused the route dump";
                done = true;
                break;
            }
            rtmsg route;
            memcpy(&route, &buffer[at + NLMSG_HDRLEN], sizeof(route));
            tables.push_back(route.rtm_table);
            at += NLMSG_ALIGN(header.nlmsg_len);
        }
    }
    close(fd);
    return tables;
}

}  // namespace

TEST(NetlinkKernel, StrictRequestsAcceptedAndRoutesFilteredToTheMainTable)
{
    NetlinkSocket socket;
    ASSERT_EQ(0, socket.Open(0, false));
    ASSERT_TRUE(socket.StrictChecking()) << "kernel without NETLINK_GET_STRICT_CHK";
    // Strict checking refuses a request whose fixed header carries anything
    // but the family and, for routes, the table filter: every dump coming
    // back whole is what tests the requests.
    NetSnapshot snapshot;
    NetlinkDumper dumper;
    ASSERT_EQ(0, DumpSnapshot(socket, dumper, snapshot));
    ASSERT_FALSE(snapshot.links.empty());
    bool loopback = false;
    for (const NetAddress& address : snapshot.addresses) {
        loopback = loopback || address.address[0] == 127;
    }
    EXPECT_TRUE(loopback) << "no 127.x address in the address dump";
    uint8_t small[8];
    EXPECT_EQ(0u, BuildDumpRequest(DumpKind::kLinks, 1, small, sizeof(small)));

    // Local and broadcast routes live in the local table, so without the
    // filter some other table shows up as soon as lo is up.
    std::vector<uint32_t> all = DumpRouteTables(false);
    std::vector<uint32_t> main = DumpRouteTables(true);
    for (uint32_t table : main) {
        EXPECT_EQ(RT_TABLE_MAIN, table);
    }
    size_t mainInAll = 0;
    for (uint32_t table : all) {
        mainInAll += table == RT_TABLE_MAIN;
    }
    EXPECT_EQ(mainInAll, main.size());
}

TEST(NetlinkKernel, ReceiveTellsTheWholeLengthAndLeavesAPeekQueued)
{
    // The dump loop sizes its buffer from a peek; a length cut to what
    // fitted, or a cut not flagged, would have it parse part of a datagram.
    NetlinkSocket socket;
    ASSERT_EQ(0, socket.Open(0, false));
    uint8_t request[64];
    size_t length = BuildDumpRequest(DumpKind::kLinks, 1, request, sizeof(request));
    ASSERT_EQ(0, socket.Send(request, length));
    NetlinkDatagram peeked;
    ASSERT_EQ(0, socket.Receive(nullptr, 0, true, &peeked));
    EXPECT_GT(peeked.length, sizeof(nlmsghdr));
    EXPECT_TRUE(peeked.truncated);
    EXPECT_EQ(0u, peeked.senderPort);
    uint8_t part[sizeof(nlmsghdr)];
    NetlinkDatagram taken;
    ASSERT_EQ(0, socket.Receive(part, sizeof(part), false, &taken));
    EXPECT_EQ(peeked.length, taken.length);
    EXPECT_TRUE(taken.truncated);
}

// Every send and receive of the process answered with EINTR from here on.
void InterruptSocketCalls()
{
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_sendto, 2, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_recvmsg, 1, 0),
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
            if (socket.Open(0, false) != 0) {
                _exit(2);
            }
            InterruptSocketCalls();
            uint8_t request[64];
            size_t length = BuildDumpRequest(DumpKind::kLinks, 1, request, sizeof(request));
            NetlinkDatagram datagram;
            bool sendGaveUp = socket.Send(request, length) == EINTR;
            bool receiveGaveUp = socket.Receive(nullptr, 0, true, &datagram) == EINTR;
            _exit(sendGaveUp && receiveGaveUp ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

namespace {

// One datagram waiting in a scripted channel, or an error in its place.
struct Queued {
    std::vector<uint8_t> bytes;
    int error = 0;
    uint32_t sender = 0;  // 0: the kernel
    size_t claimed = 0;   // when set, the whole length, of which bytes is the start
};

// A kernel on a script: the test's responder answers each request into a
// queue that is read the way a socket reads, and every request is recorded.
class ScriptedChannel : public NetlinkChannel {
   public:
    std::function<void(ScriptedChannel&, DumpKind, uint32_t sequence)> respond;
    std::deque<Queued> queue;
    std::vector<DumpKind> requests;

    uint32_t Port() const override
    {
        return kPort;
    }
    int Send(const uint8_t* request, size_t length) override
    {
        // A loop that never gives up ends here instead of hanging the test.
        if (requests.size() >= 1000) {
            return ENOSPC;
        }
        nlmsghdr header = {};
        memcpy(&header, request, std::min(length, sizeof(header)));
        DumpKind kind = header.nlmsg_type == RTM_GETLINK      ? DumpKind::kLinks
                        : header.nlmsg_type == RTM_GETADDR    ? DumpKind::kAddresses
                        : header.nlmsg_type == RTM_GETNEXTHOP ? DumpKind::kNexthops
                                                              : DumpKind::kRoutes;
        requests.push_back(kind);
        if (respond) {
            respond(*this, kind, header.nlmsg_seq);
        }
        return 0;
    }
    int Receive(uint8_t* buffer, size_t capacity, bool peek, NetlinkDatagram* datagram) override
    {
        if (queue.empty()) {
            return EAGAIN;
        }
        Queued next = queue.front();
        if (!peek || next.error != 0) {
            queue.pop_front();
        }
        if (next.error != 0) {
            return next.error;
        }
        datagram->length = next.claimed != 0 ? next.claimed : next.bytes.size();
        datagram->truncated = datagram->length > capacity;
        datagram->senderPort = next.sender;
        if (capacity > 0) {
            memcpy(buffer, next.bytes.data(), std::min(capacity, next.bytes.size()));
        }
        return 0;
    }
};

// Addresses every message of a datagram to one request and port.
void Stamp(std::vector<uint8_t>& bytes, uint32_t sequence, uint32_t port = kPort)
{
    for (size_t at = 0; at + sizeof(nlmsghdr) <= bytes.size();) {
        nlmsghdr header;
        memcpy(&header, &bytes[at], sizeof(header));
        header.nlmsg_seq = sequence;
        header.nlmsg_pid = port;
        memcpy(&bytes[at], &header, sizeof(header));
        at += NLMSG_ALIGN(header.nlmsg_len);
    }
}

// A whole reply of a kernel holding the given links and nothing else.
std::vector<uint8_t> Reply(DumpKind kind, uint32_t sequence, const std::vector<std::string>& links,
                           uint16_t doneFlags = NLM_F_MULTI)
{
    Datagram d;
    for (size_t i = 0; kind == DumpKind::kLinks && i < links.size(); ++i) {
        AddLink(d, static_cast<int>(i + 1), ARPHRD_ETHER, links[i]);
    }
    d.Done(doneFlags);
    Stamp(d.Bytes(), sequence);
    return d.Bytes();
}

std::vector<std::string> LinkNames(const NetSnapshot& snapshot)
{
    std::vector<std::string> names;
    for (const NetLink& link : snapshot.links) {
        names.push_back(link.name);
    }
    return names;
}

const std::vector<std::string> kSettled = {"eth0"};

}  // namespace

namespace {

// A clock that moves only when the dump loop pauses or a scripted dump
// takes its time.
int64_t scriptedNow = 0;
std::vector<int64_t> pauses;

int64_t ScriptedClock()
{
    return scriptedNow;
}

void ScriptedPause(int64_t milliseconds)
{
    pauses.push_back(milliseconds);
    scriptedNow += milliseconds;
}

}  // namespace

TEST(NetlinkChannel, InterruptedDumpIsRedoneWholeAndBoundedInTime)
{
    struct Case {
        const char* name;
        int racedAttempts;  // attempts in which `where` carries NLM_F_DUMP_INTR
        DumpKind where;
        int64_t dumpTime;  // milliseconds each dump takes
        int error;
        size_t attempts;
        int64_t spent;  // milliseconds in all
    };
    const Case cases[] = {
        {"routes raced once", 1, DumpKind::kRoutes, 0, 0, 2, 1},
        {"links raced twice", 2, DumpKind::kLinks, 0, 0, 3, 3},
        // 41 dumps of 20 ms, pauses of 1, 2, 4, 8, 16 and then 32 ms.
        {"a busy host: forty races in a row", 40, DumpKind::kAddresses, 20, 0, 41, 1971},
        {"never settles", 1000, DumpKind::kAddresses, 0, EAGAIN, 162, kDumpRetryTime},
        {"never settles, each dump slow", 1000, DumpKind::kLinks, 2000, EAGAIN, 3, 6003},
    };
    for (const Case& c : cases) {
        ScriptedChannel channel;
        int attempt = 0;
        channel.respond = [&](ScriptedChannel& self, DumpKind kind, uint32_t sequence) {
            attempt += kind == DumpKind::kLinks;
            scriptedNow += kind == DumpKind::kLinks ? c.dumpTime : 0;
            bool raced = attempt <= c.racedAttempts;
            uint16_t flags = raced && kind == c.where ? NLM_F_MULTI | NLM_F_DUMP_INTR : NLM_F_MULTI;
            self.queue.push_back(
                {Reply(kind, sequence, raced ? std::vector<std::string>{"old", "gone"} : kSettled,
                       flags)});
        };
        NetlinkDumper dumper;
        dumper.clock = ScriptedClock;
        dumper.pause = ScriptedPause;
        const int64_t start = 1000000;
        scriptedNow = start;
        pauses.clear();
        NetSnapshot snapshot;
        EXPECT_EQ(c.error, DumpSnapshot(channel, dumper, snapshot)) << c.name;
        EXPECT_EQ(3 * c.attempts, channel.requests.size()) << c.name;
        EXPECT_EQ(c.attempts - 1, pauses.size()) << c.name;
        EXPECT_EQ(c.spent, scriptedNow - start) << c.name;
        // Each pause doubles the one before up to the longest; only the
        // last may be cut to what is left of the time.
        for (size_t i = 1; i + 1 < pauses.size(); ++i) {
            EXPECT_EQ(std::min(2 * pauses[i - 1], kLongestDumpPause), pauses[i]) << c.name;
        }
        if (c.error == 0) {
            EXPECT_EQ(kSettled, LinkNames(snapshot)) << c.name;
        }
    }
}

TEST(NetlinkChannel, RepliesNotMeantForTheRequestAreSkipped)
{
    struct Case {
        const char* name;
        int sequenceShift;
        uint32_t port;
        uint32_t sender;
    };
    const Case cases[] = {
        {"an older request's", -1, kPort, 0},
        {"another socket's", 0, kPort + 1, 0},
        {"another process's", 0, kPort, 4321},
    };
    for (const Case& c : cases) {
        ScriptedChannel channel;
        channel.respond = [&](ScriptedChannel& self, DumpKind kind, uint32_t sequence) {
            // Each stray is a whole dump of its own, DONE included.
            Queued stray;
            stray.bytes = Reply(kind, 0, {"stray"});
            Stamp(stray.bytes, sequence + c.sequenceShift, c.port);
            stray.sender = c.sender;
            self.queue.push_back(stray);
            self.queue.push_back({Reply(kind, sequence, kSettled)});
        };
        NetlinkDumper dumper;
        NetSnapshot snapshot;
        EXPECT_EQ(0, DumpSnapshot(channel, dumper, snapshot)) << c.name;
        EXPECT_EQ(kSettled, LinkNames(snapshot)) << c.name;
    }
}

TEST(NetlinkChannel, DatagramsAreReadWholeOrNotAtAll)
{
    std::vector<std::string> many;
    for (int i = 0; i < 2000; ++i) {
        many.push_back("l" + std::to_string(i));
    }
    struct Case {
        const char* name;
        const std::vector<std::string>& links;
        size_t claimed;  // 0: the datagram as built
        int error;
    };
    const Case cases[] = {
        {"larger than the first buffer", many, 0, 0},
        // What fits of it is a whole dump; reading only that would pass.
        {"larger than any kernel sends", kSettled, size_t(64) << 20, EMSGSIZE},
    };
    for (const Case& c : cases) {
        ScriptedChannel channel;
        channel.respond = [&](ScriptedChannel& self, DumpKind kind, uint32_t sequence) {
            if (kind != DumpKind::kLinks || self.requests.size() > 1) {
                self.queue.push_back({Reply(kind, sequence, kSettled)});
                return;
            }
            Queued first;
            first.bytes = Reply(kind, sequence, c.links);
            first.claimed = c.claimed;
            self.queue.push_back(first);
            // The rest of a dump cut short: the next one must not take it.
            self.queue.push_back({Reply(kind, sequence, {"late"})});
        };
        NetlinkDumper dumper;
        NetSnapshot snapshot;
        ASSERT_EQ(c.error, DumpSnapshot(channel, dumper, snapshot)) << c.name;
        if (c.error == 0) {
            EXPECT_EQ(c.links, LinkNames(snapshot)) << c.name;
            continue;
        }
        EXPECT_LT(dumper.bufferSize, c.claimed) << c.name;
        EXPECT_EQ(0, DumpSnapshot(channel, dumper, snapshot)) << c.name;
        EXPECT_EQ(kSettled, LinkNames(snapshot)) << c.name;
    }
}

namespace {

// A default route that names next-hop object id, with the hop spelled out
// beside it as the kernel does unless nexthop_compat_mode is off.
void AddObjectRoute(Datagram& d, uint32_t id, uint32_t priority, uint32_t expandedIndex = 0,
                    uint8_t expandedLast = 0)
{
    d.Begin(RTM_NEWROUTE);
    d.Fixed(DefaultRoute());
    d.Word(RTA_PRIORITY, priority);
    d.Word(RTA_NH_ID, id);
    if (expandedIndex != 0) {
        d.Word(RTA_OIF, expandedIndex);
        const uint8_t gateway[4] = {10, 0, 0, expandedLast};
        d.Attribute(RTA_GATEWAY, gateway, 4);
    }
    d.End();
}

// One next-hop object: members for a group, else a hop of the given family
// (AF_UNSPEC: a blackhole) whose gateway ends in gatewayLast (0: none).
void AddObject(Datagram& d, uint32_t id, uint8_t family, uint32_t index, uint8_t gatewayLast,
               const std::vector<uint32_t>& members = {})
{
    d.Begin(RTM_NEWNEXTHOP);
    nhmsg info = {};
    info.nh_family = members.empty() ? family : AF_UNSPEC;
    d.Fixed(info);
    d.Word(NHA_ID, id);
    if (!members.empty()) {
        std::vector<nexthop_grp> group;
        for (uint32_t member : members) {
            nexthop_grp entry = {};
            entry.id = member;
            group.push_back(entry);
        }
        d.Attribute(NHA_GROUP, group.data(), group.size() * sizeof(nexthop_grp));
    } else if (family == AF_UNSPEC) {
        d.Attribute(NHA_BLACKHOLE, nullptr, 0);
    } else {
        d.Word(NHA_OIF, index);
        uint8_t gateway[16] = {10, 0, 0, gatewayLast};
        if (gatewayLast != 0) {
            d.Attribute(NHA_GATEWAY, gateway, family == AF_INET ? 4 : 16);
        }
    }
    d.End();
}

}  // namespace

TEST(NetlinkChannel, RoutesNamingOnlyAnObjectTakeItsHops)
{
    ScriptedChannel channel;
    channel.respond = [&](ScriptedChannel& self, DumpKind kind, uint32_t sequence) {
        Datagram d;
        if (kind == DumpKind::kRoutes) {
            AddObjectRoute(d, 10, 100);
            AddObjectRoute(d, 20, 200);
            AddObjectRoute(d, 30, 300);         // via IPv6
            AddObjectRoute(d, 40, 400, 4, 40);  // spelled out: the object is not consulted
            AddObjectRoute(d, 50, 500);         // a blackhole
            AddObjectRoute(d, 60, 600);         // unknown
        } else if (kind == DumpKind::kNexthops) {
            AddObject(d, 10, AF_INET, 3, 1);
            // A group in member order; an unknown member and a nested group give nothing.
            AddObject(d, 20, 0, 0, 0, {22, 99, 10, 21, 20});
            AddObject(d, 21, AF_INET, 3, 21);
            AddObject(d, 22, AF_INET, 5, 0);  // no gateway: the device itself
            AddObject(d, 30, AF_INET6, 6, 30);
            AddObject(d, 40, AF_INET, 7, 77);
            AddObject(d, 50, AF_UNSPEC, 0, 0);
        }
        d.Done();
        Stamp(d.Bytes(), sequence);
        self.queue.push_back({d.Bytes()});
    };
    NetlinkDumper dumper;
    NetSnapshot snapshot;
    ASSERT_EQ(0, DumpSnapshot(channel, dumper, snapshot));
    std::vector<std::string> got;
    for (const NetGateway& g : snapshot.gateways) {
        got.push_back(std::to_string(g.index) + " " + std::to_string(g.address[3]) + " " +
                      std::to_string(g.priority) + (g.nexthopId != 0 ? " unresolved" : ""));
    }
    const std::vector<std::string> expected = {"3 1 100", "5 0 200", "3 1 200", "3 21 200",
                                               "4 40 400"};
    EXPECT_EQ(expected, got);
    EXPECT_EQ(DumpKind::kNexthops, channel.requests.back());
}

namespace {

// What the scripted kernel behind the adapter query holds.
std::vector<std::string> worldLinks;
bool offerWatch = true;
ScriptedChannel* openedWatch = nullptr;

int OpenScriptedChannels(QueryChannels& channels)
{
    std::unique_ptr<ScriptedChannel> dump(new ScriptedChannel);
    dump->respond = [](ScriptedChannel& self, DumpKind kind, uint32_t sequence) {
        self.queue.push_back({Reply(kind, sequence, worldLinks)});
    };
    channels.dump = std::move(dump);
    openedWatch = offerWatch ? new ScriptedChannel : nullptr;
    channels.watch.reset(openedWatch);
    return 0;
}

struct ScriptedQuery {
    ScriptedQuery() : before(SetQueryChannelOpener(OpenScriptedChannels))
    {
    }
    ~ScriptedQuery()
    {
        SetQueryChannelOpener(before);
    }
    QueryChannelOpener before;
};

}  // namespace

TEST(AdapterQuery, FreshSnapshotOnlyAfterAChangeSinceTheOverflowAnswer)
{
    ScriptedQuery scripted;
    struct Case {
        const char* name;
        bool watch;
        int event;  // on the watch between the calls: -1 none, 0 a notification, else an error
        bool fresh;
    };
    const Case cases[] = {
        {"quiet", true, -1, false},
        {"a change", true, 0, true},
        {"notifications lost", true, ENOBUFS, true},
        {"watch broken", true, EIO, true},
        {"no watch", false, -1, true},
    };
    for (const Case& c : cases) {
        offerWatch = c.watch;
        worldLinks = {"fk0"};
        unsigned long snapshots = CountAdapterSnapshots();
        ULONG length = 0;
        ASSERT_EQ(ERROR_BUFFER_OVERFLOW, Ostrel(nullptr, &length)) << c.name;
        worldLinks.push_back("fk1");
        if (c.event >= 0) {
            Queued event;
            event.error = c.event;
            event.bytes = Reply(DumpKind::kLinks, 0, {"fk1"});
            openedWatch->queue.push_back(event);
        }
        ULONG given = length;
        std::vector<uint64_t> storage((length + 7) / 8);
        DWORD result = Ostrel(reinterpret_cast<PIP_ADAPTER_INFO>(storage.data()), &length);
        EXPECT_EQ(snapshots + (c.fresh ? 2 : 1), CountAdapterSnapshots()) << c.name;
        // Only a fresh snapshot holds the second link, which needs more room.
        EXPECT_EQ(c.fresh ? ERROR_BUFFER_OVERFLOW : ERROR_SUCCESS, result) << c.name;
        if (result == ERROR_BUFFER_OVERFLOW) {
            EXPECT_GT(length, given) << c.name;
            Ostrel(nullptr, nullptr);  // ends the round
        }
    }
}
