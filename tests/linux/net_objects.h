// Kernel snapshot pieces as the netlink parser would fill them, for tests
// of what is built on a snapshot.
#pragma once

#include <cstring>

#include "netlink/netlink.h"

inline NetLink MakeLink(uint32_t index, uint16_t type, const char* name, const char* kind = "")
{
    NetLink link;
    link.index = index;
    link.type = type;
    strncpy(link.name, name, sizeof(link.name) - 1);
    strncpy(link.kind, kind, sizeof(link.kind) - 1);
    return link;
}
