#include "netlink.h"

#include <linux/if_addr.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/nexthop.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <unordered_map>

namespace {

// Room for the longest alias the kernel keeps (IFALIASZ); the record
// writer cuts it to what a record holds.
const size_t kMaxAliasSize = 256;

// The lifetime value meaning "never expires".
const uint32_t kForever = 0xFFFFFFFFu;

template <typename T>
T ReadValue(const uint8_t* data)
{
    T value;
    memcpy(&value, data, sizeof(value));
    return value;
}

// Calls visit(type, payload, payloadLength) for each attribute that lies
// wholly inside [data, data + length). A truncated attribute ends the walk.
template <typename Visit>
void VisitAttributes(const uint8_t* data, size_t length, Visit visit)
{
    while (length >= sizeof(rtattr)) {
        rtattr header = ReadValue<rtattr>(data);
        if (header.rta_len < sizeof(rtattr) || header.rta_len > length) {
            return;
        }
        visit(static_cast<uint16_t>(header.rta_type & NLA_TYPE_MASK), data + RTA_LENGTH(0),
              static_cast<size_t>(header.rta_len - RTA_LENGTH(0)));
        size_t step = RTA_ALIGN(header.rta_len);
        if (step >= length) {
            return;
        }
        data += step;
        length -= step;
    }
}

// Copies a possibly unterminated kernel text, cut so that neither the field
// nor a UTF-8 sequence is overrun.
void CopyText(char* field, size_t fieldSize, const uint8_t* text, size_t length)
{
    size_t size = strnlen(reinterpret_cast<const char*>(text), length);
    if (size > fieldSize - 1) {
        size = fieldSize - 1;
        while (size > 0 && (text[size] & 0xC0) == 0x80) {
            --size;
        }
    }
    memcpy(field, text, size);
    field[size] = '\0';
}

// The errno value of a kernel's negative answer; anything out of errno's
// range is a protocol fault.
int ToErrno(int code)
{
    return code < 0 && code > -4096 ? -code : EPROTO;
}

// Answers that mean "none of these here" rather than a failure: a namespace
// whose main table never held a route has no such table to filter on, and a
// kernel without IPv4 (or without next-hop objects) refuses the request.
bool MeansNone(DumpKind kind, int error)
{
    if (kind == DumpKind::kLinks) {
        return false;
    }
    return error == EAFNOSUPPORT || error == EOPNOTSUPP ||
           (kind == DumpKind::kRoutes && error == ENOENT);
}

// An IPv4 route's next hop given by RTA_VIA: its address when it is IPv4;
// false for another family, which has no IPv4 gateway to show.
bool ReadVia(const uint8_t* payload, size_t length, uint8_t address[4])
{
    uint16_t family = 0;
    if (length < sizeof(family)) {
        return false;
    }
    memcpy(&family, payload, sizeof(family));
    if (family != AF_INET || length < sizeof(family) + 4) {
        return false;
    }
    memcpy(address, payload + sizeof(family), 4);
    return true;
}

bool ReadU32(const uint8_t* payload, size_t length, uint32_t* value)
{
    if (length < sizeof(uint32_t)) {
        return false;
    }
    *value = ReadValue<uint32_t>(payload);
    return true;
}

}  // namespace

const char* FindLinkAlias(const NetSnapshot& snapshot, const NetLink& link)
{
    if (link.aliasLength == 0 || link.aliasOffset >= snapshot.texts.size()) {
        return "";
    }
    return snapshot.texts.c_str() + link.aliasOffset;
}

bool ParseLinkMessage(const uint8_t* message, size_t length, NetLink& link, std::string& texts)
{
    if (length < NLMSG_LENGTH(sizeof(ifinfomsg))) {
        return false;
    }
    ifinfomsg info = ReadValue<ifinfomsg>(message + NLMSG_HDRLEN);
    link = NetLink();
    link.index = static_cast<uint32_t>(info.ifi_index);
    link.type = info.ifi_type;
    size_t offset = NLMSG_SPACE(sizeof(ifinfomsg));
    if (offset > length) {
        return true;
    }
    VisitAttributes(
        message + offset, length - offset, [&](uint16_t type, const uint8_t* payload, size_t size) {
            switch (type) {
                case IFLA_IFNAME:
                    CopyText(link.name, sizeof(link.name), payload, size);
                    break;
                case IFLA_IFALIAS:
                    char alias[kMaxAliasSize];
                    CopyText(alias, sizeof(alias), payload, size);
                    link.aliasLength = static_cast<uint32_t>(strlen(alias));
                    if (link.aliasLength > 0) {
                        link.aliasOffset = static_cast<uint32_t>(texts.size());
                        texts.append(alias, link.aliasLength + 1);
                    }
                    break;
                case IFLA_ADDRESS:
                    link.addressLength = static_cast<uint8_t>(size < 32 ? size : 32);
                    memcpy(link.address, payload,
                           size < sizeof(link.address) ? size : sizeof(link.address));
                    break;
                case IFLA_LINKINFO:
                    VisitAttributes(
                        payload, size, [&](uint16_t inner, const uint8_t* data, size_t n) {
                            if (inner == IFLA_INFO_KIND) {
                                CopyText(link.kind, sizeof(link.kind), data, n);
                            } else if (inner == IFLA_INFO_DATA) {
                                // Kept for any kind, which may follow its data; only a
                                // "tun" link's number is ever used.
                                VisitAttributes(
                                    data, n, [&](uint16_t tun, const uint8_t* value, size_t bytes) {
                                        if (tun == IFLA_TUN_TYPE && bytes >= 1) {
                                            link.tunType = value[0];
                                        }
                                    });
                            }
                        });
                    break;
                default:
                    break;
            }
        });
    return true;
}

bool ParseAddressMessage(const uint8_t* message, size_t length, NetAddress& address, bool* isInet)
{
    *isInet = false;
    if (length < NLMSG_LENGTH(sizeof(ifaddrmsg))) {
        return false;
    }
    ifaddrmsg info = ReadValue<ifaddrmsg>(message + NLMSG_HDRLEN);
    if (info.ifa_family != AF_INET) {
        return true;
    }
    address = NetAddress();
    address.index = info.ifa_index;
    address.prefixLength = info.ifa_prefixlen;
    address.flags = info.ifa_flags;
    bool haveLocal = false;
    bool havePeer = false;
    uint8_t peer[4] = {};
    size_t offset = NLMSG_SPACE(sizeof(ifaddrmsg));
    if (offset <= length) {
        VisitAttributes(message + offset, length - offset,
                        [&](uint16_t type, const uint8_t* payload, size_t size) {
                            if (type == IFA_LOCAL && size == 4) {
                                memcpy(address.address, payload, 4);
                                haveLocal = true;
                            } else if (type == IFA_ADDRESS && size == 4) {
                                memcpy(peer, payload, 4);
                                havePeer = true;
                            } else if (type == IFA_FLAGS) {
                                ReadU32(payload, size, &address.flags);
                            } else if (type == IFA_CACHEINFO && size >= sizeof(ifa_cacheinfo)) {
                                ifa_cacheinfo cache = ReadValue<ifa_cacheinfo>(payload);
                                address.finite = cache.ifa_valid != kForever;
                                address.validSeconds = cache.ifa_valid;
                                address.updated = cache.tstamp;
                            }
                        });
    }
    if (!haveLocal && havePeer) {
        memcpy(address.address, peer, 4);
    }
    *isInet = haveLocal || havePeer;
    return true;
}

bool ParseRouteMessage(const uint8_t* message, size_t length, std::vector<NetGateway>& gateways)
{
    if (length < NLMSG_LENGTH(sizeof(rtmsg))) {
        return false;
    }
    rtmsg route = ReadValue<rtmsg>(message + NLMSG_HDRLEN);
    if (route.rtm_family != AF_INET || route.rtm_dst_len != 0 || route.rtm_type != RTN_UNICAST) {
        return true;
    }
    uint32_t table = route.rtm_table;
    NetGateway single;
    bool singleUsable = true;  // false for a next hop of another family
    const uint8_t* multipath = nullptr;
    size_t multipathLength = 0;
    size_t offset = NLMSG_SPACE(sizeof(rtmsg));
    if (offset <= length) {
        VisitAttributes(message + offset, length - offset,
                        [&](uint16_t type, const uint8_t* payload, size_t size) {
                            if (type == RTA_TABLE) {
                                ReadU32(payload, size, &table);
                            } else if (type == RTA_OIF) {
                                ReadU32(payload, size, &single.index);
                            } else if (type == RTA_GATEWAY && size == 4) {
                                memcpy(single.address, payload, 4);
                            } else if (type == RTA_VIA) {
                                singleUsable = ReadVia(payload, size, single.address);
                            } else if (type == RTA_PRIORITY) {
                                ReadU32(payload, size, &single.priority);
                            } else if (type == RTA_NH_ID) {
                                ReadU32(payload, size, &single.nexthopId);
                            } else if (type == RTA_MULTIPATH) {
                                multipath = payload;
                                multipathLength = size;
                            }
                        });
    }
    if (table != RT_TABLE_MAIN) {
        return true;
    }
    if (multipath == nullptr) {
        // The kernel spells out an object's hops beside its id unless
        // nexthop_compat_mode is off; then the id is all there is.
        if (single.index != 0) {
            single.nexthopId = 0;
        }
        if ((single.index != 0 && singleUsable) || single.nexthopId != 0) {
            gateways.push_back(single);
        }
        return true;
    }
    while (multipathLength >= sizeof(rtnexthop)) {
        rtnexthop hop = ReadValue<rtnexthop>(multipath);
        if (hop.rtnh_len < sizeof(rtnexthop) || hop.rtnh_len > multipathLength) {
            break;
        }
        NetGateway gateway;
        gateway.index = static_cast<uint32_t>(hop.rtnh_ifindex);
        gateway.priority = single.priority;
        bool usable = true;
        VisitAttributes(multipath + RTNH_LENGTH(0), hop.rtnh_len - RTNH_LENGTH(0),
                        [&](uint16_t type, const uint8_t* payload, size_t size) {
                            if (type == RTA_GATEWAY && size == 4) {
                                memcpy(gateway.address, payload, 4);
                            } else if (type == RTA_VIA) {
                                usable = ReadVia(payload, size, gateway.address);
                            }
                        });
        if (gateway.index != 0 && usable) {
            gateways.push_back(gateway);
        }
        size_t step = RTNH_ALIGN(hop.rtnh_len);
        if (step >= multipathLength) {
            break;
        }
        multipath += step;
        multipathLength -= step;
    }
    return true;
}

bool ParseNexthopMessage(const uint8_t* message, size_t length, NetSnapshot& snapshot)
{
    if (length < NLMSG_LENGTH(sizeof(nhmsg))) {
        return false;
    }
    nhmsg info = ReadValue<nhmsg>(message + NLMSG_HDRLEN);
    NetNexthop nexthop;
    nexthop.firstMember = static_cast<uint32_t>(snapshot.nexthopMembers.size());
    size_t offset = NLMSG_SPACE(sizeof(nhmsg));
    if (offset <= length) {
        VisitAttributes(
            message + offset, length - offset,
            [&](uint16_t type, const uint8_t* payload, size_t size) {
                if (type == NHA_ID) {
                    ReadU32(payload, size, &nexthop.id);
                } else if (type == NHA_OIF) {
                    ReadU32(payload, size, &nexthop.index);
                } else if (type == NHA_GATEWAY) {
                    // An IPv6 gateway has no IPv4 form, as with RTA_VIA.
                    nexthop.usable = info.nh_family == AF_INET && size == 4;
                    if (nexthop.usable) {
                        memcpy(nexthop.address, payload, 4);
                    }
                } else if (type == NHA_BLACKHOLE) {
                    nexthop.usable = false;
                } else if (type == NHA_GROUP && nexthop.memberCount == 0) {
                    for (size_t at = 0; at + sizeof(nexthop_grp) <= size;
                         at += sizeof(nexthop_grp)) {
                        snapshot.nexthopMembers.push_back(ReadValue<nexthop_grp>(payload + at).id);
                        ++nexthop.memberCount;
                    }
                }
            });
    }
    if (nexthop.id == 0) {
        snapshot.nexthopMembers.resize(nexthop.firstMember);
        return true;
    }
    snapshot.nexthops.push_back(nexthop);
    return true;
}

bool NeedsNexthops(const NetSnapshot& snapshot)
{
    for (const NetGateway& gateway : snapshot.gateways) {
        if (gateway.nexthopId != 0) {
            return true;
        }
    }
    return false;
}

void ResolveNexthops(NetSnapshot& snapshot)
{
    if (!NeedsNexthops(snapshot)) {
        return;
    }
    std::unordered_map<uint32_t, const NetNexthop*> byId;
    for (const NetNexthop& nexthop : snapshot.nexthops) {
        byId.emplace(nexthop.id, &nexthop);  // the first of a repeated id
    }
    auto find = [&](uint32_t id) -> const NetNexthop* {
        auto found = byId.find(id);
        return found == byId.end() ? nullptr : found->second;
    };
    std::vector<NetGateway> resolved;
    resolved.reserve(snapshot.gateways.size());
    auto addHop = [&](const NetNexthop* hop, uint32_t priority) {
        // Groups hold single hops only; a member that is a group itself
        // is a fault and gives nothing.
        if (hop != nullptr && hop->memberCount == 0 && hop->usable && hop->index != 0) {
            NetGateway gateway;
            gateway.index = hop->index;
            memcpy(gateway.address, hop->address, 4);
            gateway.priority = priority;
            resolved.push_back(gateway);
        }
    };
    for (const NetGateway& gateway : snapshot.gateways) {
        if (gateway.nexthopId == 0) {
            resolved.push_back(gateway);
            continue;
        }
        const NetNexthop* nexthop = find(gateway.nexthopId);
        if (nexthop == nullptr || nexthop->memberCount == 0) {
            addHop(nexthop, gateway.priority);
            continue;
        }
        for (uint32_t m = 0; m < nexthop->memberCount; ++m) {
            size_t at = size_t{nexthop->firstMember} + m;
            if (at < snapshot.nexthopMembers.size()) {
                addHop(find(snapshot.nexthopMembers[at]), gateway.priority);
            }
        }
    }
    snapshot.gateways.swap(resolved);
}

bool ReadDumpDatagram(DumpReader& reader, const uint8_t* data, size_t length, NetSnapshot& snapshot)
{
    while (length > 0 && !reader.done) {
        if (length < sizeof(nlmsghdr)) {
            reader.error = EBADMSG;
            return false;
        }
        nlmsghdr header = ReadValue<nlmsghdr>(data);
        if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > length) {
            reader.error = EBADMSG;
            return false;
        }
        // Leftovers of an earlier request, or anything not meant for us.
        bool ours = header.nlmsg_seq == reader.sequence && header.nlmsg_pid == reader.portId;
        if (ours) {
            if (header.nlmsg_flags & NLM_F_DUMP_INTR) {
                reader.interrupted = true;
            }
            const uint8_t* payload = data + NLMSG_HDRLEN;
            size_t payloadLength =
                header.nlmsg_len > NLMSG_HDRLEN ? header.nlmsg_len - NLMSG_HDRLEN : 0;
            bool wellFormed = true;
            if (header.nlmsg_type == NLMSG_DONE || header.nlmsg_type == NLMSG_ERROR) {
                // A dump's failure comes in its closing NLMSG_DONE, a refused
                // request's in an NLMSG_ERROR.
                bool closing = header.nlmsg_type == NLMSG_DONE;
                if (!closing && payloadLength < sizeof(int)) {
                    reader.error = EBADMSG;
                    return false;
                }
                int code = payloadLength >= sizeof(int) ? ReadValue<int>(payload) : 0;
                bool failed = closing ? code < 0 : code != 0;
                if (failed && !MeansNone(reader.kind, ToErrno(code))) {
                    reader.done = closing;
                    reader.error = ToErrno(code);
                    return false;
                }
                reader.done = closing || failed;
            } else if (header.nlmsg_type == RTM_NEWLINK && reader.kind == DumpKind::kLinks) {
                NetLink link;
                wellFormed = ParseLinkMessage(data, header.nlmsg_len, link, snapshot.texts);
                if (wellFormed) {
                    snapshot.links.push_back(link);
                }
            } else if (header.nlmsg_type == RTM_NEWADDR && reader.kind == DumpKind::kAddresses) {
                NetAddress address;
                bool isInet = false;
                wellFormed = ParseAddressMessage(data, header.nlmsg_len, address, &isInet);
                if (wellFormed && isInet) {
                    snapshot.addresses.push_back(address);
                }
            } else if (header.nlmsg_type == RTM_NEWROUTE && reader.kind == DumpKind::kRoutes) {
                wellFormed = ParseRouteMessage(data, header.nlmsg_len, snapshot.gateways);
            } else if (header.nlmsg_type == RTM_NEWNEXTHOP && reader.kind == DumpKind::kNexthops) {
                wellFormed = ParseNexthopMessage(data, header.nlmsg_len, snapshot);
            }
            if (!wellFormed) {
                reader.error = EBADMSG;
                return false;
            }
        }
        size_t step = NLMSG_ALIGN(header.nlmsg_len);
        if (step >= length) {
            break;
        }
        data += step;
        length -= step;
    }
    return true;
}

size_t BuildDumpRequest(DumpKind kind, uint32_t sequence, uint8_t* buffer, size_t capacity)
{
    size_t bodySize = 0;
    uint16_t type = 0;
    switch (kind) {
        case DumpKind::kLinks:
            bodySize = NLMSG_ALIGN(sizeof(ifinfomsg)) + RTA_SPACE(sizeof(uint32_t));
            type = RTM_GETLINK;
            break;
        case DumpKind::kAddresses:
            bodySize = sizeof(ifaddrmsg);
            type = RTM_GETADDR;
            break;
        case DumpKind::kRoutes:
            bodySize = sizeof(rtmsg);
            type = RTM_GETROUTE;
            break;
        case DumpKind::kNexthops:
            // Every family: an IPv4 route may go via an IPv6 object, and
            // groups have none.
            bodySize = sizeof(nhmsg);
            type = RTM_GETNEXTHOP;
            break;
    }
    size_t total = NLMSG_LENGTH(bodySize);
    if (total > capacity) {
        return 0;
    }
    memset(buffer, 0, total);
    nlmsghdr header = {};
    header.nlmsg_len = static_cast<uint32_t>(total);
    header.nlmsg_type = type;
    header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    header.nlmsg_seq = sequence;
    memcpy(buffer, &header, sizeof(header));
    uint8_t* body = buffer + NLMSG_HDRLEN;
    if (kind == DumpKind::kLinks) {
        // Counters are never reported; leaving them out shrinks the dump.
        rtattr mask = {};
        mask.rta_len = RTA_LENGTH(sizeof(uint32_t));
        mask.rta_type = IFLA_EXT_MASK;
        uint32_t filter = RTEXT_FILTER_SKIP_STATS;
        uint8_t* attribute = body + NLMSG_ALIGN(sizeof(ifinfomsg));
        memcpy(attribute, &mask, sizeof(mask));
        memcpy(attribute + RTA_LENGTH(0), &filter, sizeof(filter));
    } else if (kind == DumpKind::kAddresses) {
        body[offsetof(ifaddrmsg, ifa_family)] = AF_INET;
    } else if (kind == DumpKind::kRoutes) {
        // Honoured only under strict checking; elsewhere every table comes
        // back and the parser drops the others.
        body[offsetof(rtmsg, rtm_family)] = AF_INET;
        body[offsetof(rtmsg, rtm_table)] = RT_TABLE_MAIN;
    }
    return total;
}
