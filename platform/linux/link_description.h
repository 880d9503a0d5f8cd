// What an adapter record says about a link itself: its interface type
// number and its description.
#pragma once

#include <cstdint>

#include "adapter_facts.h"
#include "hardware_names.h"
#include "netlink.h"

// One kernel link type (ARPHRD_*) as the records show it.
struct LinkType {
    uint16_t arphrd;
    uint32_t adapterType;  // interface type number (ipifcons.h)
    const char* name;      // the description of a link nothing better names
};

// The entry for a kernel link type; an unknown type is "other", number 1.
const LinkType& FindLinkType(uint16_t arphrd);

// Fills facts.type and facts.description. The description is the kind of
// a virtual link ("veth", "bridge", "tap"); for a physical device the
// product name the hardware database gives its PCI or USB ids, else its
// driver, else the name of its link type. The alias, the administrator's
// own label, is no description. sysNetRoot is the directory holding one
// entry per interface ("/sys/class/net").
void DescribeLink(const NetLink& link, const char* sysNetRoot, HardwareNames& names,
                  AdapterFacts& facts);
