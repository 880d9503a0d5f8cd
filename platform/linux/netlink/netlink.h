// rtnetlink reader and message parser: the kernel's link, IPv4 address,
// IPv4 default route and next-hop object facts, parsed from plain byte
// buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One network interface as the link dump describes it. Texts are always
// terminated.
struct NetLink {
    uint32_t index = 0;
    uint16_t type = 0;          // ARPHRD_*
    uint8_t addressLength = 0;  // the kernel's length, at most 32
    uint8_t address[8] = {};    // the first bytes of the link-layer address
    char name[16] = {};
    char kind[16] = {};   // IFLA_INFO_KIND, empty for a physical device
    uint8_t tunType = 0;  // IFLA_TUN_TYPE of a "tun" link: IFF_TUN or IFF_TAP, 0 if unsaid
};

// One IPv4 address of an interface.
struct NetAddress {
    uint32_t index = 0;
    uint8_t address[4] = {};  // IFA_LOCAL, or IFA_ADDRESS when there is no local one
    uint8_t prefixLength = 0;
    uint32_t flags = 0;         // IFA_F_*, from IFA_FLAGS when present
    bool finite = false;        // the valid lifetime is not forever
    uint32_t validSeconds = 0;  // remaining valid lifetime at dump time
    uint32_t updated = 0;       // tstamp: hundredths of a second since boot, wraps
};

// One next hop of an IPv4 default route in the main table.
struct NetGateway {
    uint32_t index = 0;  // outgoing interface
    uint8_t address[4] = {};
    uint32_t priority = 0;
    // A route that names only a next-hop object (RTA_NH_ID) leaves index
    // and address to the object; 0 once resolved or for any other route.
    uint32_t nexthopId = 0;
};

// One next-hop object: a single hop, or a group of other objects.
struct NetNexthop {
    uint32_t id = 0;
    uint32_t index = 0;  // NHA_OIF
    uint8_t address[4] = {};
    bool usable = true;        // false for a blackhole or a gateway of another family
    uint32_t firstMember = 0;  // a group's member ids in NetSnapshot::nexthopMembers
    uint32_t memberCount = 0;  // 0 for a single hop
};

struct NetSnapshot {
    std::vector<NetLink> links;
    std::vector<NetAddress> addresses;
    std::vector<NetGateway> gateways;
    std::vector<NetNexthop> nexthops;  // dumped only when a route names one
    std::vector<uint32_t> nexthopMembers;
};

// The message parsers take one message, header included, length =
// nlmsg_len, and return 0 or EBADMSG when it is malformed.

// Parses one RTM_NEWLINK message.
int ParseLinkMessage(const uint8_t* message, size_t length, NetLink& link);
// Parses one RTM_NEWADDR message; ENOENT when it holds no IPv4 address
// (another family, or no four-byte address).
int ParseAddressMessage(const uint8_t* message, size_t length, NetAddress& address);
// Appends the next hops of one RTM_NEWROUTE message when it is an IPv4
// unicast default route of the main table; any other route appends none.
int ParseRouteMessage(const uint8_t* message, size_t length, std::vector<NetGateway>& gateways);
// Appends one RTM_NEWNEXTHOP message's object to snapshot.nexthops (none
// without an id).
int ParseNexthopMessage(const uint8_t* message, size_t length, NetSnapshot& snapshot);
// Whether some gateway still waits for its next-hop object.
bool NeedsNexthops(const NetSnapshot& snapshot);
// Replaces each gateway that names a next-hop object by the object's hops,
// a group's in member order; an unknown or unusable object gives none.
void ResolveNexthops(NetSnapshot& snapshot);

enum class DumpKind { kLinks, kAddresses, kRoutes, kNexthops };

// State of one dump being read, datagram by datagram.
struct DumpReader {
    DumpKind kind = DumpKind::kLinks;
    uint32_t sequence = 0;
    uint32_t portId = 0;       // our socket's port; replies carry it
    bool interrupted = false;  // NLM_F_DUMP_INTR seen on some message
    bool done = false;         // NLMSG_DONE seen
};

// Feeds one received datagram to the reader, appending what it describes
// to the snapshot. Returns 0, EBADMSG for a malformed datagram or message,
// or the kernel's errno value for a refused or failed dump (EPROTO when its
// code is none); reader.done tells when the dump is complete.
int ReadDumpDatagram(DumpReader& reader, const uint8_t* data, size_t length, NetSnapshot& snapshot);

// Builds the request for one dump into buffer and sets *length; returns 0
// or EOVERFLOW when it does not fit capacity. The requests are valid under
// strict checking: fixed headers zeroed except for the family and, for
// routes, the main table as a filter.
int BuildDumpRequest(DumpKind kind, uint32_t sequence, uint8_t* buffer, size_t capacity,
                     size_t* length);
