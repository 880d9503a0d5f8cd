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

// The kind and, for a "tun" link, the tun type out of IFLA_LINKINFO.
void ReadLinkInfo(const Attribute& linkInfo, NetLink& link)
{
    Attribute info[IFLA_INFO_MAX + 1];
    IndexAttributes(linkInfo.data, linkInfo.length, info);
    if (info[IFLA_INFO_KIND].data != nullptr) {
        CopyKernelText(link.kind, sizeof(link.kind), info[IFLA_INFO_KIND]);
    }
    // Read for any kind, which may follow its data; only a "tun" link's
    // number is ever used.
    if (info[IFLA_INFO_DATA].data != nullptr) {
        Attribute data[IFLA_TUN_MAX + 1];
        IndexAttributes(info[IFLA_INFO_DATA].data, info[IFLA_INFO_DATA].length, data);
        if (data[IFLA_TUN_TYPE].length >= 1) {
            link.tunType = data[IFLA_TUN_TYPE].data[0];
        }
    }
}

// Appends the usable hops of an RTA_MULTIPATH list, each with the route's
// priority.
void ReadMultipath(const Attribute& multipath, uint32_t priority, std::vector<NetGateway>& gateways)
{
    const uint8_t* data = multipath.data;
    size_t length = multipath.length;
    while (length >= sizeof(rtnexthop)) {
        rtnexthop hop = ReadValue<rtnexthop>(data);
        if (hop.rtnh_len < sizeof(rtnexthop) || hop.rtnh_len > length) {
            break;
        }
        NetGateway gateway;
        gateway.index = static_cast<uint32_t>(hop.rtnh_ifindex);
        gateway.priority = priority;
        Attribute attributes[RTA_MAX + 1];
        IndexAttributes(data + RTNH_LENGTH(0), hop.rtnh_len - RTNH_LENGTH(0), attributes);
        ReadIpv4(attributes[RTA_GATEWAY], gateway.address);
        bool usable = attributes[RTA_VIA].data == nullptr ||
                      ReadVia(attributes[RTA_VIA], gateway.address) == 0;
        if (gateway.index != 0 && usable) {
            gateways.push_back(gateway);
        }
        size_t step = RTNH_ALIGN(hop.rtnh_len);
        if (step >= length) {
            break;
        }
        data += step;
        length -= step;
    }
}

}  // namespace

int ParseLinkMessage(const uint8_t* message, size_t length, NetLink& link)
{
    if (length < NLMSG_LENGTH(sizeof(ifinfomsg))) {
        return EBADMSG;
    }
    ifinfomsg info = ReadValue<ifinfomsg>(message + NLMSG_HDRLEN);
    link = NetLink();
    link.index = static_cast<uint32_t>(info.ifi_index);
    link.type = info.ifi_type;
    Attribute attributes[IFLA_MAX + 1];
    IndexMessageAttributes(message, length, sizeof(ifinfomsg), attributes);
    if (attributes[IFLA_IFNAME].data != nullptr) {
        CopyKernelText(link.name, sizeof(link.name), attributes[IFLA_IFNAME]);
    }
    const Attribute& address = attributes[IFLA_ADDRESS];
    if (address.data != nullptr) {
        link.addressLength = static_cast<uint8_t>(address.length < 32 ? address.length : 32);
        memcpy(link.address, address.data,
               address.length < sizeof(link.address) ? address.length : sizeof(link.address));
    }
    if (attributes[IFLA_LINKINFO].data != nullptr) {
        ReadLinkInfo(attributes[IFLA_LINKINFO], link);
    }
    return 0;
}

int ParseAddressMessage(const uint8_t* message, size_t length, NetAddress& address)
{
    if (length < NLMSG_LENGTH(sizeof(ifaddrmsg))) {
        return EBADMSG;
    }
    ifaddrmsg info = ReadValue<ifaddrmsg>(message + NLMSG_HDRLEN);
    if (info.ifa_family != AF_INET) {
        return ENOENT;
    }
    address = NetAddress();
    address.index = info.ifa_index;
    address.prefixLength = info.ifa_prefixlen;
    address.flags = info.ifa_flags;
    Attribute attributes[IFA_MAX + 1];
    IndexMessageAttributes(message, length, sizeof(ifaddrmsg), attributes);
    // A point-to-point address keeps its own end in IFA_LOCAL and the
    // peer's in IFA_ADDRESS; any other has IFA_ADDRESS alone.
    int error = ReadIpv4(attributes[IFA_LOCAL], address.address);
    if (error != 0) {
        error = ReadIpv4(attributes[IFA_ADDRESS], address.address);
    }
    ReadU32(attributes[IFA_FLAGS], &address.flags);
    const Attribute& cacheInfo = attributes[IFA_CACHEINFO];
    if (cacheInfo.data != nullptr && cacheInfo.length >= sizeof(ifa_cacheinfo)) {
        ifa_cacheinfo cache = ReadValue<ifa_cacheinfo>(cacheInfo.data);
        address.finite = cache.ifa_valid != kForever;
        address.validSeconds = cache.ifa_valid;
        address.updated = cache.tstamp;
    }
    // Without a four-byte address there is nothing to show; a malformed one
    // spoils only this address, not the dump.
    return error == 0 ? 0 : ENOENT;
}

int ParseRouteMessage(const uint8_t* message, size_t length, std::vector<NetGateway>& gateways)
{
    if (length < NLMSG_LENGTH(sizeof(rtmsg))) {
        return EBADMSG;
    }
    rtmsg route = ReadValue<rtmsg>(message + NLMSG_HDRLEN);
    if (route.rtm_family != AF_INET || route.rtm_dst_len != 0 || route.rtm_type != RTN_UNICAST) {
        return 0;
    }
    Attribute attributes[RTA_MAX + 1];
    IndexMessageAttributes(message, length, sizeof(rtmsg), attributes);
    uint32_t table = route.rtm_table;
    ReadU32(attributes[RTA_TABLE], &table);
    if (table != RT_TABLE_MAIN) {
        return 0;
    }
    NetGateway single;
    ReadU32(attributes[RTA_OIF], &single.index);
    ReadIpv4(attributes[RTA_GATEWAY], single.address);
    bool singleUsable =
        attributes[RTA_VIA].data == nullptr || ReadVia(attributes[RTA_VIA], single.address) == 0;
    ReadU32(attributes[RTA_PRIORITY], &single.priority);
    ReadU32(attributes[RTA_NH_ID], &single.nexthopId);
    if (attributes[RTA_MULTIPATH].data != nullptr) {
        ReadMultipath(attributes[RTA_MULTIPATH], single.priority, gateways);
        return 0;
    }
    // The kernel spells out an object's hops beside its id unless
    // nexthop_compat_mode is off; then the id is all there is.
    if (single.index != 0) {
        single.nexthopId = 0;
    }
    if ((single.index != 0 && singleUsable) || single.nexthopId != 0) {
        gateways.push_back(single);
    }
    return 0;
}

int ParseNexthopMessage(const uint8_t* message, size_t length, NetSnapshot& snapshot)
{
    if (length < NLMSG_LENGTH(sizeof(nhmsg))) {
        return EBADMSG;
    }
    nhmsg info = ReadValue<nhmsg>(message + NLMSG_HDRLEN);
    Attribute attributes[NHA_MAX + 1];
    IndexMessageAttributes(message, length, sizeof(nhmsg), attributes);
    NetNexthop nexthop;
    ReadU32(attributes[NHA_ID], &nexthop.id);
    if (nexthop.id == 0) {
        return 0;
    }
    ReadU32(attributes[NHA_OIF], &nexthop.index);
    if (attributes[NHA_GATEWAY].data != nullptr) {
        // An IPv6 gateway has no IPv4 form, as with RTA_VIA.
        nexthop.usable =
            info.nh_family == AF_INET && ReadIpv4(attributes[NHA_GATEWAY], nexthop.address) == 0;
    }
    if (attributes[NHA_BLACKHOLE].data != nullptr) {
        nexthop.usable = false;
    }
    nexthop.firstMember = static_cast<uint32_t>(snapshot.nexthopMembers.size());
    const Attribute& group = attributes[NHA_GROUP];
    for (size_t at = 0; group.data != nullptr && at + sizeof(nexthop_grp) <= group.length;
         at += sizeof(nexthop_grp)) {
        snapshot.nexthopMembers.push_back(ReadValue<nexthop_grp>(group.data + at).id);
        ++nexthop.memberCount;
    }
    snapshot.nexthops.push_back(nexthop);
    return 0;
}
