// What an adapter record says about a link itself: its interface type
// number and its description.
#pragma once

#include <cstdint>

#include "adapter_facts.h"
#include "netlink.h"

// One kernel link type (ARPHRD_*) as the records show it.
struct LinkType {
    uint16_t arphrd;
    uint32_t adapterType;  // interface type number (ipifcons.h)
    const char* name;      // the description of a link nothing better names
};

// The entry for a kernel link type; an unknown type is "other", number 1.
const LinkType& FindLinkType(uint16_t arphrd);

// Fills facts.type and facts.description. The description is the link's
// alias, else its kind ("veth", "bridge"), else the driver of a physical
// device, else the name of its link type. sysNetRoot is the directory
// holding one entry per interface ("/sys/class/net").
void DescribeLink(const NetSnapshot& snapshot, const NetLink& link, const char* sysNetRoot,
                  AdapterFacts& facts);
