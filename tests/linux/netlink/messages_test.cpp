// The rtnetlink message parsers on hand-built messages.
#include "messages.h"

#include <gtest/gtest.h>
#include <linux/if_addr.h>
#include <linux/if_link.h>
#include <linux/if_tun.h>
#include <linux/nexthop.h>

#include <numeric>

#include "netlink_support.h"

namespace {

// Appends one struct rtnexthop with a single nested attribute, or none
// without a payload.
void AddNextHop(std::vector<uint8_t>& hops, int index, uint16_t type, const void* payload,
                size_t size, uint8_t flags = 0)
{
    Datagram attribute;
    if (payload != nullptr) {
        attribute.Attribute(type, payload, size);
    }
    rtnexthop hop = {static_cast<unsigned short>(RTNH_LENGTH(attribute.Bytes().size())), flags, 0,
                     index};
    hops.insert(hops.end(), reinterpret_cast<uint8_t*>(&hop), reinterpret_cast<uint8_t*>(&hop + 1));
    hops.insert(hops.end(), attribute.Bytes().begin(), attribute.Bytes().end());
}

}  // namespace

// Names of the field's size - 1, size and size + 1 bytes, unterminated. A
// tun link's type comes from its kind's data, given before or after the
// kind; another kind's data numbers its attributes otherwise.
TEST(NetlinkParse, LinkTakesNameKindWholeAddressAndTunType)
{
    uint8_t hardware[20];
    std::iota(hardware, hardware + sizeof(hardware), uint8_t(0xE0));
    const std::string n14(14, 'n'), n15(15, 'n');
    const struct {
        const char* kind;
        bool dataFirst;
        std::string bytes;
        size_t size;  // what the name attribute holds of bytes
        std::string name;
    } rows[] = {
        {"tun", false, n15 + "\x80", 15, n15},  // the byte past it would continue a character
        {"tun", true, n15 + "n", 16, n15},
        {"the-longest-kind", false, n15 + "nn", 17, n15},  // a kind is cut as a name is
        {"tun", false, n14 + "\xC3\xA9", 16, n14},         // a cut inside a character drops it
        {"tun", false, "x" + std::string(16, '\x80'), 17, ""},
    };
    NetInterface link;  // each row's parse over the one before
    for (const auto& row : rows) {
        Datagram d;
        d.Begin(RTM_NEWLINK);
        ifinfomsg info = {};
        info.ifi_index = 9;
        info.ifi_type = ARPHRD_INFINIBAND;
        d.Fixed(info);
        d.Word(0x7FFF, 1);                     // an attribute this reader does not know
        d.Attribute(IFLA_UNSPEC, nullptr, 0);  // empty, which is no truncation
        const size_t nameAt = d.Bytes().size();
        d.Attribute(IFLA_IFNAME, row.bytes.data(), row.bytes.size());
        size_t nest = d.BeginNest(IFLA_LINKINFO);
        if (!row.dataFirst) {
            d.Text(IFLA_INFO_KIND, row.kind);
        }
        size_t data = d.BeginNest(IFLA_INFO_DATA);
        d.Word(IFLA_TUN_OWNER, 0);
        uint8_t tap = IFF_TAP;
        d.Attribute(IFLA_TUN_TYPE, &tap, sizeof(tap));
        d.EndNest(data);
        if (row.dataFirst) {
            d.Text(IFLA_INFO_KIND, row.kind);
        }
        d.EndNest(nest);
        d.Attribute(IFLA_ADDRESS, hardware, sizeof(hardware));
        d.End();
        const unsigned short nameLength = RTA_LENGTH(row.size);
        memcpy(&d.Bytes()[nameAt], &nameLength, sizeof(nameLength));
        const size_t length = d.MessageSize();
        d.Bytes().resize(length + 32, 'x');

        ASSERT_EQ(0, ParseLinkMessage(d.Message(), length, link));
        EXPECT_EQ(9u, link.index);
        EXPECT_EQ(ARPHRD_INFINIBAND, link.type);
        EXPECT_EQ(row.name, link.name) << row.size;
        EXPECT_EQ(std::string(row.kind).substr(0, 15), link.kind);
        EXPECT_EQ(strcmp(row.kind, "tun") == 0 ? IFF_TAP : 0, link.tunType) << row.kind;
        EXPECT_EQ(20, link.addressLength);
        EXPECT_EQ(0, memcmp(hardware, link.address, 8));  // as far as a record holds
    }
}

TEST(NetlinkParse, AddressFlagsLifetimeAndPeerFallback)
{
    // Index, address/prefix, flags, finite, valid seconds, time stamp.
    auto facts = [](const NetAddress& a) {
        char text[80];
        snprintf(text, sizeof(text), "%u %u.%u.%u.%u/%u %x %d %u %u", a.index, a.address.bytes[0],
                 a.address.bytes[1], a.address.bytes[2], a.address.bytes[3], a.prefixLength,
                 a.flags, a.finite, a.validSeconds, a.updated);
        return std::string(text);
    };
    NetAddress address;
    for (uint32_t valid : {3600u, 0xFFFFFFFFu}) {  // the second never ends
        Datagram d;
        d.Begin(RTM_NEWADDR);
        d.Fixed(ifaddrmsg{AF_INET, 24, 0, 0, 4});
        const uint8_t local[4] = {10, 1, 2, 3};
        d.Attribute(IFA_LOCAL, local, 4);
        d.Word(IFA_FLAGS, IFA_F_SECONDARY);
        ifa_cacheinfo cache = {valid, valid, 1234, 12345};
        d.Attribute(IFA_CACHEINFO, &cache, sizeof(cache));
        d.End();
        ASSERT_EQ(0, ParseAddressMessage(d.Message(), d.MessageSize(), address));
        EXPECT_EQ(1234u, address.created);
        EXPECT_EQ(
            valid == 3600 ? "4 10.1.2.3/24 1 1 3600 12345" : "4 10.1.2.3/24 1 0 4294967295 12345",
            facts(address));
        d.Bytes()[NLMSG_HDRLEN + offsetof(ifaddrmsg, ifa_family)] = AF_INET6;
        EXPECT_EQ(ENOENT, ParseAddressMessage(d.Message(), d.MessageSize(), address));
    }

    // Over those facts, a message holding only the peer's address keeps
    // none of them and takes the flags of its header.
    Datagram peerOnly;
    peerOnly.Begin(RTM_NEWADDR);
    peerOnly.Fixed(ifaddrmsg{AF_INET, 0, IFA_F_PERMANENT, 0, 5});
    const uint8_t peer[4] = {192, 0, 2, 9};
    peerOnly.Attribute(IFA_ADDRESS, peer, 4);
    peerOnly.End();
    ASSERT_EQ(0, ParseAddressMessage(peerOnly.Message(), peerOnly.MessageSize(), address));
    EXPECT_EQ("5 192.0.2.9/0 80 0 0 0", facts(address));
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
    std::vector<uint8_t> hops;
    AddNextHop(hops, 3, RTA_GATEWAY, inet + 2, 4);
    AddNextHop(hops, 6, RTA_VIA, inet6, sizeof(inet6));
    AddNextHop(hops, 0, RTA_GATEWAY, inet + 2, 4);  // no device
    AddNextHop(hops, 5, RTA_VIA, inet, sizeof(inet));
    AddNextHop(hops, 4, RTA_GATEWAY, inet + 2, 4);
    // A hop of its header alone, dead and onlink: flags that would read as
    // RTA_GATEWAY if the hop before it ran into it.
    AddNextHop(hops, 1, 0, nullptr, 0, RTNH_F_DEAD | RTNH_F_ONLINK);
    d.Attribute(RTA_MULTIPATH, hops.data(), hops.size());
    d.Word(RTA_TABLE, RT_TABLE_MAIN);  // a walk past the hops would take it for one
    d.End();
    std::vector<NetGateway> gateways;
    ASSERT_EQ(0, ParseRouteMessage(d.Message(), d.MessageSize(), gateways));
    const std::vector<std::string> expected = {"3 10.7 0", "5 10.7 0", "4 10.7 0", "1 0.0 0"};
    EXPECT_EQ(expected, GatewayTexts(gateways));

    // Another table, a prefix route, a local route, a single hop via IPv6
    // (its family alone) and one without a device are not gateways; a hop
    // that claims more than its list holds, or holds a byte of an
    // attribute, damages the route.
    for (int variant = 0; variant < 7; ++variant) {
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
        if (variant == 3) {
            other.Attribute(RTA_VIA, inet6, 2);
        }
        uint8_t list[12] = {};
        rtnexthop hop = {static_cast<unsigned short>(variant == 5 ? 12 : 9), 0, 0,
                         variant == 5 ? 3 : 0};
        memcpy(list, &hop, sizeof(hop));
        if (variant >= 5) {
            other.Attribute(RTA_MULTIPATH, list, variant == 5 ? 8 : 9);
        }
        if (variant != 4) {
            other.Word(RTA_OIF, 3);  // after the list: no hop of it
        }
        other.End();
        gateways.clear();
        EXPECT_EQ(variant >= 5 ? EBADMSG : 0,
                  ParseRouteMessage(other.Message(), other.MessageSize(), gateways));
        EXPECT_TRUE(gateways.empty()) << "variant " << variant;
    }
}

namespace {

struct DamageRow {
    DumpKind kind;
    uint16_t nest;  // 0, a tun link's IFLA_INFO_DATA, or RTA_MULTIPATH's one hop
    uint16_t type;
    size_t size;     // the payload's own size
    int results[5];  // with a payload of 0, size - 1, size and size + 1 bytes, then of
                     // size bytes but a length that runs a byte past what holds it
};

// One message holding the attribute with a payload of size bytes (an IPv4
// family first for RTA_VIA), after what its parser needs to read that far:
// of two attributes of one type the later counts. The attribute ends what
// holds it (its nest, its hop, the message); with overrun its length runs
// a byte past that.
void AddDamaged(Datagram& d, const DamageRow& row, size_t size, bool overrun)
{
    const unsigned short past = RTA_ALIGN(RTA_LENGTH(size)) + 1;
    std::vector<uint8_t> payload(size + 2, 0);
    if (row.type == RTA_VIA && size >= 2) {
        const uint16_t family = AF_INET;
        memcpy(payload.data(), &family, sizeof(family));
    }
    BeginMessage(d, row.kind);
    d.Word(kNeeded[static_cast<int>(row.kind)], 1);
    if (row.nest == IFLA_INFO_DATA) {
        size_t info = d.BeginNest(IFLA_LINKINFO);
        d.Text(IFLA_INFO_KIND, "tun");
        size_t data = d.BeginNest(IFLA_INFO_DATA);
        d.Attribute(row.type, payload.data(), size);
        d.EndNest(data);
        d.EndNest(info);
        if (overrun) {
            memcpy(&d.Bytes()[data + RTA_LENGTH(0)], &past, sizeof(past));
        }
    } else if (row.nest == RTA_MULTIPATH) {
        std::vector<uint8_t> hops;
        AddNextHop(hops, 4, row.type, payload.data(), size);
        if (overrun) {
            memcpy(&hops[sizeof(rtnexthop)], &past, sizeof(past));
        }
        d.Attribute(RTA_MULTIPATH, hops.data(), hops.size());
    } else {
        const size_t at = d.Bytes().size();
        d.Attribute(row.type, payload.data(), size);
        if (overrun) {
            memcpy(&d.Bytes()[at], &past, sizeof(past));
        }
    }
    d.End();
}

}  // namespace

// A damaged attribute fails the message, and so the dump, as a cut header
// does: read over a default it would make a route or an address vanish,
// and one that runs past what holds it would leave a link without its
// name or an address or a hop out.
TEST(NetlinkParse, DamagedAttributeFailsTheDump)
{
    const int X = EBADMSG;
    const DamageRow rows[] = {
        {DumpKind::kLinks, 0, IFLA_IFNAME, 4, {0, 0, 0, 0, X}},
        {DumpKind::kLinks, 0, IFLA_ADDRESS, 32, {0, 0, 0, X, X}},
        {DumpKind::kLinks, IFLA_INFO_DATA, IFLA_TUN_TYPE, 1, {X, X, 0, X, X}},
        {DumpKind::kAddresses, 0, IFA_LOCAL, 4, {X, X, 0, X, X}},
        {DumpKind::kAddresses, 0, IFA_ADDRESS, 4, {X, X, 0, X, X}},
        {DumpKind::kAddresses, 0, IFA_FLAGS, 4, {X, X, 0, X, X}},
        {DumpKind::kAddresses, 0, IFA_CACHEINFO, sizeof(ifa_cacheinfo), {X, X, 0, X, X}},
        {DumpKind::kRoutes, 0, RTA_TABLE, 4, {X, X, 0, X, X}},
        {DumpKind::kRoutes, 0, RTA_OIF, 4, {X, X, 0, X, X}},
        {DumpKind::kRoutes, 0, RTA_GATEWAY, 4, {X, X, 0, X, X}},
        {DumpKind::kRoutes, 0, RTA_VIA, 6, {X, X, 0, X, X}},
        {DumpKind::kRoutes, 0, RTA_PRIORITY, 4, {X, X, 0, X, X}},
        {DumpKind::kRoutes, 0, RTA_NH_ID, 4, {X, X, 0, X, X}},
        {DumpKind::kRoutes, RTA_MULTIPATH, RTA_GATEWAY, 4, {X, X, 0, X, X}},
        {DumpKind::kRoutes, RTA_MULTIPATH, RTA_VIA, 6, {X, X, 0, X, X}},
        {DumpKind::kNexthops, 0, NHA_ID, 4, {X, X, 0, X, X}},
        {DumpKind::kNexthops, 0, NHA_OIF, 4, {X, X, 0, X, X}},
        {DumpKind::kNexthops, 0, NHA_GATEWAY, 4, {X, X, 0, X, X}},
        {DumpKind::kNexthops, 0, NHA_GROUP, sizeof(nexthop_grp), {0, X, 0, X, X}},
    };
    for (const DamageRow& row : rows) {
        const size_t sizes[] = {0, row.size - 1, row.size, row.size + 1, row.size};
        for (int i = 0; i < 5; ++i) {
            Datagram d;
            AddDamaged(d, row, sizes[i], i == 4);
            DumpReader reader{row.kind, kSequence, kPort};
            NetSnapshot snapshot;
            EXPECT_EQ(row.results[i], Feed(reader, d, snapshot))
                << "type " << row.type << " in kind " << static_cast<int>(row.kind) << ", "
                << sizes[i] << " bytes" << (i == 4 ? ", overrun" : "");
        }
    }
}
