// The rtnetlink message parsers and the dump reader on hand-built messages.
#include "messages.h"

#include <gtest/gtest.h>
#include <linux/if_addr.h>
#include <linux/if_link.h>
#include <linux/if_tun.h>
#include <linux/nexthop.h>

#include "netlink_support.h"

namespace {

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

// Appends one struct rtnexthop with a single nested attribute.
void AddNextHop(std::vector<uint8_t>& hops, int index, uint16_t type, const void* payload,
                size_t size)
{
    Datagram attribute;
    attribute.Attribute(type, payload, size);
    rtnexthop hop = {static_cast<unsigned short>(RTNH_LENGTH(attribute.Bytes().size())), 0, 0,
                     index};
    hops.insert(hops.end(), reinterpret_cast<uint8_t*>(&hop), reinterpret_cast<uint8_t*>(&hop + 1));
    hops.insert(hops.end(), attribute.Bytes().begin(), attribute.Bytes().end());
}

int Feed(DumpReader& reader, Datagram& d, NetSnapshot& snapshot)
{
    return ReadDumpDatagram(reader, d.Bytes().data(), d.Bytes().size(), snapshot);
}

}  // namespace

// A tun link's type comes from its kind's data, given before or after the kind.
TEST(NetlinkParse, LinkTakesNameKindWholeAddressAndTunType)
{
    uint8_t hardware[20];
    for (int i = 0; i < 20; ++i) {
        hardware[i] = static_cast<uint8_t>(0xF0 + i);
    }
    for (bool dataFirst : {false, true}) {
        Datagram d;
        d.Begin(RTM_NEWLINK);
        ifinfomsg info = {};
        info.ifi_index = 9;
        info.ifi_type = ARPHRD_INFINIBAND;
        d.Fixed(info);
        d.Word(0x7FFF, 1);  // an attribute this reader does not know
        d.Text(IFLA_IFNAME, "ib0");
        d.Attribute(IFLA_ADDRESS, hardware, sizeof(hardware));
        size_t nest = d.BeginNest(IFLA_LINKINFO);
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
        d.EndNest(nest);
        d.End();

        NetLink link;
        ASSERT_EQ(0, ParseLinkMessage(d.Message(), d.MessageSize(), link));
        EXPECT_EQ(9u, link.index);
        EXPECT_EQ(ARPHRD_INFINIBAND, link.type);
        EXPECT_STREQ("ib0", link.name);
        EXPECT_STREQ("tun", link.kind);
        EXPECT_EQ(20, link.addressLength);
        EXPECT_EQ(0, memcmp(hardware, link.address, sizeof(link.address)));
        EXPECT_EQ(IFF_TAP, link.tunType) << dataFirst;
    }
}

TEST(NetlinkParse, UnterminatedNameIsCutAndTruncatedAttributeSkipped)
{
    Datagram d;
    d.Begin(RTM_NEWLINK);
    d.Fixed(ifinfomsg{});
    d.Attribute(IFLA_UNSPEC, nullptr, 0);  // empty, which is no truncation
    std::string name(40, 'n');
    d.Attribute(IFLA_IFNAME, name.data(), name.size());
    const uint8_t hardware[6] = {2, 0, 0, 0, 0, 1};
    d.Attribute(IFLA_ADDRESS, hardware, sizeof(hardware));
    d.End();
    // The address claims more bytes than the message holds: far more, or a
    // few of those that follow the message in its datagram.
    std::vector<uint8_t> bytes(d.Message(), d.Message() + d.MessageSize());
    bytes.resize(bytes.size() + 32, 'x');
    size_t addressAt = NLMSG_SPACE(sizeof(ifinfomsg)) + RTA_SPACE(0) + RTA_SPACE(40);
    NetLink link;
    const unsigned short lies[] = {200, RTA_LENGTH(7) + 8};
    for (unsigned short lie : lies) {
        memcpy(&bytes[addressAt], &lie, sizeof(lie));
        ASSERT_EQ(0, ParseLinkMessage(bytes.data(), d.MessageSize(), link)) << lie;
        EXPECT_EQ(std::string(15, 'n'), link.name) << lie;
        EXPECT_EQ(0, link.addressLength) << lie;
    }
    // A header too short for its fixed part is malformed.
    EXPECT_EQ(EBADMSG, ParseLinkMessage(bytes.data(), NLMSG_HDRLEN + 4, link));
}

TEST(NetlinkParse, AddressFlagsLifetimeAndPeerFallback)
{
    Datagram d;
    const uint8_t local[4] = {10, 1, 2, 3};
    AddAddress(d, 4, local, 24, IFA_F_SECONDARY, 3600, 12345);
    NetAddress address;
    ASSERT_EQ(0, ParseAddressMessage(d.Message(), d.MessageSize(), address));
    EXPECT_EQ(4u, address.index);
    EXPECT_EQ(0, memcmp(local, address.address, 4));
    EXPECT_EQ(24, address.prefixLength);
    EXPECT_TRUE(address.flags & IFA_F_SECONDARY);
    EXPECT_TRUE(address.finite);
    EXPECT_EQ(3600u, address.validSeconds);
    EXPECT_EQ(12345u, address.updated);

    Datagram forever;
    AddAddress(forever, 4, local, 24, 0);
    ASSERT_EQ(0, ParseAddressMessage(forever.Message(), forever.MessageSize(), address));
    EXPECT_FALSE(address.finite);
    forever.Bytes()[NLMSG_HDRLEN + offsetof(ifaddrmsg, ifa_family)] = AF_INET6;
    EXPECT_EQ(ENOENT, ParseAddressMessage(forever.Message(), forever.MessageSize(), address));
    // The dump goes on without it.
    DumpReader reader{DumpKind::kAddresses, kSequence, kPort};
    NetSnapshot snapshot;
    EXPECT_EQ(0, Feed(reader, forever, snapshot));
    EXPECT_TRUE(snapshot.addresses.empty());

    Datagram peerOnly;
    peerOnly.Begin(RTM_NEWADDR);
    ifaddrmsg info = {};
    info.ifa_family = AF_INET;
    info.ifa_index = 5;
    peerOnly.Fixed(info);
    const uint8_t peer[4] = {192, 0, 2, 9};
    peerOnly.Attribute(IFA_ADDRESS, peer, 4);
    peerOnly.End();
    ASSERT_EQ(0, ParseAddressMessage(peerOnly.Message(), peerOnly.MessageSize(), address));
    EXPECT_EQ(0, memcmp(peer, address.address, 4));
    EXPECT_FALSE(address.finite);
}

// RTA_VIA: a 16-bit family, then the address; a hop via another family is
// no gateway.
TEST(NetlinkParse, MultipathDefaultRouteOfMainTableOnly)
{
    uint8_t inet6[2 + 16] = {};
    uint8_t inet[2 + 4] = {0, 0, 10, 0, 0, 7};
    const uint16_t families[] = {AF_INET6, AF_INET};
    memcpy(inet6, &families[0], 2);
    memcpy(inet, &families[1], 2);
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
    AddNextHop(hops, 6, RTA_VIA, inet6, sizeof(inet6));
    AddNextHop(hops, 5, RTA_VIA, inet, sizeof(inet));
    d.Attribute(RTA_MULTIPATH, hops.data(), hops.size());
    d.End();
    std::vector<NetGateway> gateways;
    ASSERT_EQ(0, ParseRouteMessage(d.Message(), d.MessageSize(), gateways));
    ASSERT_EQ(3u, gateways.size());
    EXPECT_EQ(3u, gateways[0].index);
    EXPECT_EQ(1, gateways[0].address[3]);
    EXPECT_EQ(4u, gateways[1].index);
    EXPECT_EQ(2, gateways[1].address[3]);
    EXPECT_EQ(50u, gateways[1].priority);
    EXPECT_EQ(5u, gateways[2].index);
    EXPECT_EQ(7, gateways[2].address[3]);

    // Another table, a prefix route, a local route and a single hop via
    // IPv6 are not gateways.
    for (int variant = 0; variant < 4; ++variant) {
        Datagram other;
        other.Begin(RTM_NEWROUTE);
        rtmsg r = DefaultRoute();
        if (variant == 0) {
            r.rtm_table = 100;
        } else if (variant == 1) {
            r.rtm_dst_len = 24;
        } else if (variant == 2) {
            r.rtm_type = RTN_LOCAL;
        }
        other.Fixed(r);
        other.Word(RTA_OIF, 3);
        if (variant == 3) {
            other.Attribute(RTA_VIA, inet6, sizeof(inet6));
        }
        other.End();
        gateways.clear();
        ASSERT_EQ(0, ParseRouteMessage(other.Message(), other.MessageSize(), gateways));
        EXPECT_TRUE(gateways.empty()) << "variant " << variant;
    }
}

namespace {

// Opens a message of the kind a dump reader of kind reads, with its fixed header.
void BeginMessage(Datagram& d, DumpKind kind)
{
    const uint16_t types[] = {RTM_NEWLINK, RTM_NEWADDR, RTM_NEWROUTE, RTM_NEWNEXTHOP};
    d.Begin(types[static_cast<int>(kind)]);
    if (kind == DumpKind::kLinks) {
        d.Fixed(ifinfomsg{});
    } else if (kind == DumpKind::kRoutes) {
        d.Fixed(DefaultRoute());
    } else {
        d.Fixed(ifaddrmsg{AF_INET, 0, 0, 0, 0});  // an nhmsg too: as long, family first
    }
}

struct DamageRow {
    DumpKind kind;
    uint16_t nest;  // 0, a tun link's IFLA_INFO_DATA, or RTA_MULTIPATH's one hop
    uint16_t type;
    size_t size;     // the payload's own size
    int results[4];  // with a payload of 0, size - 1, size and size + 1 bytes
};

// One message holding the attribute with a payload of size bytes (an IPv4
// family first for RTA_VIA), after what its parser needs to read that far:
// of two attributes of one type the later counts.
void AddDamaged(Datagram& d, const DamageRow& row, size_t size)
{
    std::vector<uint8_t> payload(size + 2, 0);
    if (row.type == RTA_VIA && size >= 2) {
        const uint16_t family = AF_INET;
        memcpy(payload.data(), &family, sizeof(family));
    }
    const uint16_t needed[] = {IFLA_IFNAME, IFA_ADDRESS, RTA_OIF, NHA_ID};
    BeginMessage(d, row.kind);
    d.Word(needed[static_cast<int>(row.kind)], 1);
    if (row.nest == IFLA_INFO_DATA) {
        size_t info = d.BeginNest(IFLA_LINKINFO);
        d.Text(IFLA_INFO_KIND, "tun");
        size_t data = d.BeginNest(IFLA_INFO_DATA);
        d.Attribute(row.type, payload.data(), size);
        d.EndNest(data);
        d.EndNest(info);
    } else if (row.nest == RTA_MULTIPATH) {
        std::vector<uint8_t> hops;
        AddNextHop(hops, 4, row.type, payload.data(), size);
        d.Attribute(RTA_MULTIPATH, hops.data(), hops.size());
    } else {
        d.Attribute(row.type, payload.data(), size);
    }
    d.End();
}

}  // namespace

// A damaged attribute fails the message, and so the dump, as a cut header
// does: read over a default it would make a route or an address vanish.
TEST(NetlinkParse, DamagedAttributeFailsTheDump)
{
    const int X = EBADMSG;
    const DamageRow rows[] = {
        {DumpKind::kLinks, 0, IFLA_ADDRESS, 32, {0, 0, 0, X}},
        {DumpKind::kLinks, IFLA_INFO_DATA, IFLA_TUN_TYPE, 1, {X, X, 0, X}},
        {DumpKind::kAddresses, 0, IFA_LOCAL, 4, {X, X, 0, X}},
        {DumpKind::kAddresses, 0, IFA_ADDRESS, 4, {X, X, 0, X}},
        {DumpKind::kAddresses, 0, IFA_FLAGS, 4, {X, X, 0, X}},
        {DumpKind::kAddresses, 0, IFA_CACHEINFO, sizeof(ifa_cacheinfo), {X, X, 0, X}},
        {DumpKind::kRoutes, 0, RTA_TABLE, 4, {X, X, 0, X}},
        {DumpKind::kRoutes, 0, RTA_OIF, 4, {X, X, 0, X}},
        {DumpKind::kRoutes, 0, RTA_GATEWAY, 4, {X, X, 0, X}},
        {DumpKind::kRoutes, 0, RTA_VIA, 6, {X, X, 0, X}},
        {DumpKind::kRoutes, 0, RTA_PRIORITY, 4, {X, X, 0, X}},
        {DumpKind::kRoutes, 0, RTA_NH_ID, 4, {X, X, 0, X}},
        {DumpKind::kRoutes, RTA_MULTIPATH, RTA_GATEWAY, 4, {X, X, 0, X}},
        {DumpKind::kRoutes, RTA_MULTIPATH, RTA_VIA, 6, {X, X, 0, X}},
        {DumpKind::kNexthops, 0, NHA_ID, 4, {X, X, 0, X}},
        {DumpKind::kNexthops, 0, NHA_OIF, 4, {X, X, 0, X}},
        {DumpKind::kNexthops, 0, NHA_GATEWAY, 4, {X, X, 0, X}},
        {DumpKind::kNexthops, 0, NHA_GROUP, sizeof(nexthop_grp), {0, X, 0, X}},
    };
    for (const DamageRow& row : rows) {
        const size_t sizes[] = {0, row.size - 1, row.size, row.size + 1};
        for (int i = 0; i < 4; ++i) {
            Datagram d;
            AddDamaged(d, row, sizes[i]);
            DumpReader reader{row.kind, kSequence, kPort};
            NetSnapshot snapshot;
            EXPECT_EQ(row.results[i], Feed(reader, d, snapshot))
                << "type " << row.type << " in kind " << static_cast<int>(row.kind) << ", "
                << sizes[i] << " bytes";
        }
    }
}

// A message of its fixed header alone holds no attribute, which is no
// damage; a byte less is.
TEST(NetlinkParse, FixedHeaderAloneParsesAndAByteLessFails)
{
    for (int kind = 0; kind < 4; ++kind) {
        for (size_t cut : {0, 1}) {
            Datagram d;
            BeginMessage(d, static_cast<DumpKind>(kind));
            d.End();
            reinterpret_cast<nlmsghdr*>(d.Bytes().data())->nlmsg_len -= cut;
            d.Bytes().resize(d.Bytes().size() - cut);
            DumpReader reader{static_cast<DumpKind>(kind), kSequence, kPort};
            NetSnapshot snapshot;
            EXPECT_EQ(cut == 0 ? 0 : EBADMSG, Feed(reader, d, snapshot))
                << "kind " << kind << ", " << cut << " byte short";
        }
    }
}

TEST(NetlinkDump, AnswersMeaningNoneEndTheDumpEmpty)
{
    // A fresh namespace has no main table to filter routes on; a kernel
    // without IPv4 refuses the family. Anything else is still a failure.
    // A header alone may close a dump, but a refusal without its code is
    // malformed.
    const int kNone = 1;
    struct Case {
        DumpKind kind;
        uint16_t type;
        int code;   // kNone: the message ends after its header
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
        {DumpKind::kRoutes, NLMSG_ERROR, -EPERM, EPERM},
        {DumpKind::kRoutes, NLMSG_ERROR, ENOENT, EPROTO},  // a positive code is no errno
        {DumpKind::kRoutes, NLMSG_ERROR, -4095, 4095},     // the last errno
        {DumpKind::kRoutes, NLMSG_ERROR, -4096, EPROTO},
        {DumpKind::kLinks, NLMSG_DONE, kNone, 0},
        {DumpKind::kLinks, NLMSG_ERROR, kNone, EBADMSG},
    };
    for (const Case& c : cases) {
        Datagram d;
        d.Begin(c.type);
        if (c.code != kNone) {
            d.Fixed(int32_t(c.code));
        }
        d.End();
        DumpReader reader{c.kind, kSequence, kPort};
        NetSnapshot snapshot;
        EXPECT_EQ(c.error, Feed(reader, d, snapshot)) << c.type << " " << c.code;
        EXPECT_EQ(c.type == NLMSG_DONE || c.error == 0, reader.done) << c.type << " " << c.code;
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
    AddLink(second, 4, ARPHRD_ETHER, "past");  // after the end: not read

    DumpReader reader{DumpKind::kLinks, kSequence, kPort};
    NetSnapshot snapshot;
    ASSERT_EQ(0, Feed(reader, d, snapshot));
    EXPECT_FALSE(reader.done);
    EXPECT_FALSE(reader.interrupted);
    ASSERT_EQ(0, Feed(reader, second, snapshot));
    EXPECT_TRUE(reader.done);
    EXPECT_TRUE(reader.interrupted);
    ASSERT_EQ(3u, snapshot.links.size());
    EXPECT_STREQ("eth0", snapshot.links[2].name);
}

TEST(NetlinkDump, LyingLengthsFail)
{
    NetSnapshot snapshot;
    Datagram d;
    AddLink(d, 1, ARPHRD_LOOPBACK, "lo");
    std::vector<uint8_t> bytes = d.Bytes();
    for (uint32_t lie : {uint32_t(bytes.size() + 4), uint32_t(8), uint32_t(0xFFFFFFFF)}) {
        memcpy(bytes.data(), &lie, sizeof(lie));
        DumpReader reader{DumpKind::kLinks, kSequence, kPort};
        EXPECT_EQ(EBADMSG, ReadDumpDatagram(reader, bytes.data(), bytes.size(), snapshot)) << lie;
    }
    // A datagram cut inside a header.
    DumpReader cut{DumpKind::kLinks, kSequence, kPort};
    EXPECT_EQ(EBADMSG, ReadDumpDatagram(cut, d.Bytes().data(), 10, snapshot));
    EXPECT_TRUE(snapshot.links.empty());
}
