// A link of the kernel's snapshot as the parser would fill it: what the
// tests of the snapshot's users need of the netlink tests' support.
#pragma once

#include <cstdint>
#include <cstring>

#include "netlink.h"

inline NetInterface MakeLink(uint32_t index, uint16_t type, const char* name, const char* kind = "")
{
    NetInterface link;
    link.index = index;
    link.type = type;
    strncpy(link.name, name, sizeof(link.name) - 1);
    strncpy(link.kind, kind, sizeof(link.kind) - 1);
    return link;
}
