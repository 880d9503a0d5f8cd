// The kernel's snapshot as the netlink part hands it out: links, IPv4
// addresses, IPv4 default routes and next-hop objects, as plain values.
#pragma once

#include <cstdint>
#include <vector>

#include "adapter_facts.h"

// One network interface as the link dump describes it. Texts are always
// terminated.
struct NetInterface {
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
    Ipv4Bytes address;  // IFA_LOCAL, or IFA_ADDRESS when there is no local one
    uint8_t prefixLength = 0;
    uint32_t flags = 0;         // IFA_F_*, from IFA_FLAGS when present
    bool finite = false;        // the valid lifetime is not forever
    uint32_t validSeconds = 0;  // remaining valid lifetime at dump time
    uint32_t updated = 0;       // tstamp: hundredths of a second since boot, wraps
    uint32_t created = 0;       // cstamp, the same way
};

// One next hop of an IPv4 default route in the main table.
struct NetGateway {
    uint32_t index = 0;  // outgoing interface
    Ipv4Bytes address;
    uint32_t priority = 0;
    // A route that names only a next-hop object (RTA_NH_ID) leaves index
    // and address to the object; 0 once resolved or for any other route.
    uint32_t nexthopId = 0;
};

// One next-hop object: a single hop, or a group of other objects.
struct NetNexthop {
    uint32_t id = 0;
    uint32_t index = 0;  // NHA_OIF
    Ipv4Bytes address;
    bool usable = true;        // false for a blackhole or a gateway of another family
    uint32_t firstMember = 0;  // a group's member ids in NetSnapshot::nexthopMembers
    uint32_t memberCount = 0;  // 0 for a single hop
};

struct NetSnapshot {
    std::vector<NetInterface> links;
    std::vector<NetAddress> addresses;
    std::vector<NetGateway> gateways;
    std::vector<NetNexthop> nexthops;  // dumped only when a route names one
    std::vector<uint32_t> nexthopMembers;
};
