// What an adapter record says about a link itself: its interface type
// number and its description.
#pragma once

#include "adapter_facts.h"
#include "hardware_names.h"
#include "netlink.h"

// Fills facts.type and facts.description. The description is the kind of
// a virtual link ("veth", "bridge", "tap"); for a physical device the
// product name the hardware database gives its PCI or USB ids, else its
// driver, else the name of its link type. The alias, the administrator's
// own label, is no description. sysNetRoot is the directory holding one
// entry per interface ("/sys/class/net"). 0, or the errno value of a read
// that loses facts (LosesFacts).
int DescribeLink(const NetInterface& link, const char* sysNetRoot, HardwareNames& names,
                 AdapterFacts& facts);
