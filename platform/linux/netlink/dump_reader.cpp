// The dump's datagrams read message by message, and the requests that ask
// for a dump.
#include <linux/if_addr.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/nexthop.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "attributes.h"
#include "messages.h"

namespace {

// The errno value of a kernel's negative answer; anything out of errno's
// range is a protocol fault.
int ToErrno(int code)
{
    return code < 0 && code > -4096 ? -code : EPROTO;
}

// Answers that mean "none of these here" rather than a failure: a namespace
// whose main table never held a route has no such table to filter on, and a
// kernel without IPv4 (or without next-hop objects) refuses the request.
bool ErrorMeansEmptyDump(DumpKind kind, int error)
{
    if (kind == DumpKind::kLinks) {
        return false;
    }
    return error == EAFNOSUPPORT || error == EOPNOTSUPP ||
           (kind == DumpKind::kRoutes && error == ENOENT);
}

}  // namespace

int ReadDumpDatagram(DumpReader& reader, const uint8_t* data, size_t length, NetSnapshot& snapshot)
{
    return WalkRecords<nlmsghdr>(
        data, length, [&](const nlmsghdr& header, const uint8_t* message, size_t size) {
            // Leftovers of an earlier request, anything not meant for us, or
            // past the end.
            if (header.nlmsg_seq != reader.sequence || header.nlmsg_pid != reader.portId ||
                reader.done) {
                return 0;
            }
            if (header.nlmsg_flags & NLM_F_DUMP_INTR) {
                reader.interrupted = true;
            }
            int error = 0;
            if (header.nlmsg_type == NLMSG_DONE || header.nlmsg_type == NLMSG_ERROR) {
                // A dump's failure comes in its closing NLMSG_DONE, a refused
                // request's in an NLMSG_ERROR; either without its code is cut.
                if (size < NLMSG_LENGTH(sizeof(int))) {
                    return EBADMSG;
                }
                bool closing = header.nlmsg_type == NLMSG_DONE;
                int code = ReadValue<int>(message + NLMSG_HDRLEN);
                bool failed = closing ? code < 0 : code != 0;
                if (failed && !ErrorMeansEmptyDump(reader.kind, ToErrno(code))) {
                    reader.done = closing;
                    return ToErrno(code);
                }
                reader.done = closing || failed;
            } else if (header.nlmsg_type == RTM_NEWLINK && reader.kind == DumpKind::kLinks) {
                NetInterface link;
                error = ParseLinkMessage(message, size, link);
                if (error == 0) {
                    snapshot.links.push_back(link);
                }
            } else if (header.nlmsg_type == RTM_NEWADDR && reader.kind == DumpKind::kAddresses) {
                NetAddress address;
                error = ParseAddressMessage(message, size, address);
                if (error == 0) {
                    snapshot.addresses.push_back(address);
                } else if (error == ENOENT) {
                    error = 0;  // no IPv4 address in it: nothing to show
                }
            } else if (header.nlmsg_type == RTM_NEWROUTE && reader.kind == DumpKind::kRoutes) {
                error = ParseRouteMessage(message, size, snapshot.gateways);
            } else if (header.nlmsg_type == RTM_NEWNEXTHOP && reader.kind == DumpKind::kNexthops) {
                error = ParseNexthopMessage(message, size, snapshot);
            }
            return error;
        });
}

int BuildDumpRequest(DumpKind kind, uint32_t sequence, uint8_t* buffer, size_t capacity,
                     size_t* length)
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
        return EOVERFLOW;
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
    *length = total;
    return 0;
}
