// rtnetlink messages read into a snapshot, out of plain byte buffers, and
// the requests that ask the kernel for them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "netlink.h"

// The message parsers take one message, header included, length =
// nlmsg_len, and return 0 or EBADMSG when it is malformed.

// Parses one RTM_NEWLINK message.
int ParseLinkMessage(const uint8_t* message, size_t length, NetInterface& link);
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
