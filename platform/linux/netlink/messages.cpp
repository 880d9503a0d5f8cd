// The parsers of the four kinds of dump message: links, IPv4 addresses,
// IPv4 default routes and next-hop objects.
#include "messages.h"

#include <linux/if_addr.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/nexthop.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "attributes.h"

namespace {

// The lifetime value meaning "never expires".
const uint32_t kForever = 0xFFFFFFFFu;

// Reads a message's fixed header, the one after the netlink header, and
// indexes the attributes that follow it. Returns 0 or EBADMSG when the
// message is too short for the fixed header or its attributes are damaged.
template <typename Header, size_t N>
int ReadMessage(const uint8_t* message, size_t length, Header* header, Attribute (&attributes)[N])
{
    size_t offset = NLMSG_SPACE(sizeof(Header));
    if (length < offset) {
        return EBADMSG;
    }
    *header = ReadValue<Header>(message + NLMSG_HDRLEN);
    return IndexAttributes(message + offset, length - offset, attributes);
}

// The kind and, for a "tun" link, the tun type out of IFLA_LINKINFO.
int ReadLinkInfo(const Attribute& linkInfo, NetInterface& link)
{
    Attribute info[IFLA_INFO_MAX + 1];
    if (int error = IndexAttributes(linkInfo.data, linkInfo.length, info); error != 0) {
        return error;
    }
    CopyKernelText(link.kind, sizeof(link.kind), info[IFLA_INFO_KIND]);
    // The data's attributes are numbered per kind: only a "tun" link's are
    // tun attributes.
    if (strcmp(link.kind, "tun") != 0 || info[IFLA_INFO_DATA].data == nullptr) {
        return 0;
    }
    Attribute data[IFLA_TUN_MAX + 1];
    return FirstError(
        {IndexAttributes(info[IFLA_INFO_DATA].data, info[IFLA_INFO_DATA].length, data),
         AllowAbsent(ReadExact(data[IFLA_TUN_TYPE], &link.tunType))});
}

// Appends the usable hops of an RTA_MULTIPATH list, each with the route's
// priority.
int ReadMultipath(const Attribute& multipath, uint32_t priority, std::vector<NetGateway>& gateways)
{
    return WalkRecords<rtnexthop>(
        multipath.data, multipath.length,
        [&](const rtnexthop& hop, const uint8_t* data, size_t size) {
            NetGateway gateway;
            gateway.index = static_cast<uint32_t>(hop.rtnh_ifindex);
            gateway.priority = priority;
            Attribute attributes[RTA_MAX + 1];
            bool ipv4 = true;
            int error = FirstError(
                {IndexAttributes(data + RTNH_LENGTH(0), size - RTNH_LENGTH(0), attributes),
                 AllowAbsent(ReadExact(attributes[RTA_GATEWAY], &gateway.address)),
                 AllowAbsent(ReadVia(attributes[RTA_VIA], &gateway.address, &ipv4))});
            if (error == 0 && gateway.index != 0 && ipv4) {
                gateways.push_back(gateway);
            }
            return error;
        });
}

}  // namespace

int ParseLinkMessage(const uint8_t* message, size_t length, NetInterface& link)
{
    ifinfomsg info;
    Attribute attributes[IFLA_MAX + 1];
    if (int error = ReadMessage(message, length, &info, attributes); error != 0) {
        return error;
    }
    link = NetInterface();
    link.index = static_cast<uint32_t>(info.ifi_index);
    link.type = info.ifi_type;
    CopyKernelText(link.name, sizeof(link.name), attributes[IFLA_IFNAME]);
    const Attribute& address = attributes[IFLA_ADDRESS];
    if (address.data != nullptr) {
        // No link layer has a longer address (MAX_ADDR_LEN).
        if (address.length > 32) {
            return EBADMSG;
        }
        link.addressLength = static_cast<uint8_t>(address.length);
        memcpy(link.address, address.data,
               address.length < sizeof(link.address) ? address.length : sizeof(link.address));
    }
    if (attributes[IFLA_LINKINFO].data != nullptr) {
        return ReadLinkInfo(attributes[IFLA_LINKINFO], link);
    }
    return 0;
}

int ParseAddressMessage(const uint8_t* message, size_t length, NetAddress& address)
{
    ifaddrmsg info;
    Attribute attributes[IFA_MAX + 1];
    if (int error = ReadMessage(message, length, &info, attributes); error != 0) {
        return error;
    }
    if (info.ifa_family != AF_INET) {
        return ENOENT;
    }
    address = NetAddress();
    address.index = info.ifa_index;
    address.prefixLength = info.ifa_prefixlen;
    address.flags = info.ifa_flags;
    // A point-to-point address keeps its own end in IFA_LOCAL and the
    // peer's in IFA_ADDRESS; any other has IFA_ADDRESS alone.
    int local = ReadExact(attributes[IFA_LOCAL], &address.address);
    if (local == ENOENT) {
        local = ReadExact(attributes[IFA_ADDRESS], &address.address);
    }
    ifa_cacheinfo cache;
    int cacheRead = ReadExact(attributes[IFA_CACHEINFO], &cache);
    if (cacheRead == 0) {
        address.finite = cache.ifa_valid != kForever;
        address.validSeconds = cache.ifa_valid;
        address.updated = cache.tstamp;
        address.created = cache.cstamp;
    }
    // Without an address there is nothing to show (ENOENT), unless the
    // message is damaged.
    return FirstError({AllowAbsent(ReadExact(attributes[IFA_FLAGS], &address.flags)),
                       AllowAbsent(cacheRead), local});
}

int ParseRouteMessage(const uint8_t* message, size_t length, std::vector<NetGateway>& gateways)
{
    rtmsg route;
    Attribute attributes[RTA_MAX + 1];
    if (int error = ReadMessage(message, length, &route, attributes); error != 0) {
        return error;
    }
    if (route.rtm_family != AF_INET || route.rtm_dst_len != 0 || route.rtm_type != RTN_UNICAST) {
        return 0;
    }
    uint32_t table = route.rtm_table;
    int error = AllowAbsent(ReadExact(attributes[RTA_TABLE], &table));
    if (error != 0 || table != RT_TABLE_MAIN) {
        return error;
    }
    NetGateway single;
    bool ipv4 = true;
    error = FirstError({AllowAbsent(ReadExact(attributes[RTA_OIF], &single.index)),
                        AllowAbsent(ReadExact(attributes[RTA_GATEWAY], &single.address)),
                        AllowAbsent(ReadVia(attributes[RTA_VIA], &single.address, &ipv4)),
                        AllowAbsent(ReadExact(attributes[RTA_PRIORITY], &single.priority)),
                        AllowAbsent(ReadExact(attributes[RTA_NH_ID], &single.nexthopId))});
    if (error != 0) {
        return error;
    }
    if (attributes[RTA_MULTIPATH].data != nullptr) {
        return ReadMultipath(attributes[RTA_MULTIPATH], single.priority, gateways);
    }
    // The kernel spells out an object's hops beside its id unless
    // nexthop_compat_mode is off; then the id is all there is.
    if (single.index != 0) {
        single.nexthopId = 0;
    }
    if ((single.index != 0 && ipv4) || single.nexthopId != 0) {
        gateways.push_back(single);
    }
    return 0;
}

int ParseNexthopMessage(const uint8_t* message, size_t length, NetSnapshot& snapshot)
{
    nhmsg info;
    Attribute attributes[NHA_MAX + 1];
    if (int error = ReadMessage(message, length, &info, attributes); error != 0) {
        return error;
    }
    NetNexthop nexthop;
    int error = AllowAbsent(ReadExact(attributes[NHA_ID], &nexthop.id));
    if (error != 0 || nexthop.id == 0) {
        return error;  // without an id no route can name it
    }
    // An IPv6 gateway has no IPv4 form, as with RTA_VIA.
    bool ipv4 = info.nh_family == AF_INET;
    const Attribute& group = attributes[NHA_GROUP];
    error =
        FirstError({AllowAbsent(ReadExact(attributes[NHA_OIF], &nexthop.index)),
                    ipv4 ? AllowAbsent(ReadExact(attributes[NHA_GATEWAY], &nexthop.address)) : 0,
                    group.length % sizeof(nexthop_grp) == 0 ? 0 : EBADMSG});
    if (error != 0) {
        return error;
    }
    nexthop.usable = (ipv4 || attributes[NHA_GATEWAY].data == nullptr) &&
                     attributes[NHA_BLACKHOLE].data == nullptr;
    nexthop.firstMember = static_cast<uint32_t>(snapshot.nexthopMembers.size());
    for (size_t at = 0; at < group.length; at += sizeof(nexthop_grp)) {
        snapshot.nexthopMembers.push_back(ReadValue<nexthop_grp>(group.data + at).id);
        ++nexthop.memberCount;
    }
    snapshot.nexthops.push_back(nexthop);
    return 0;
}
