#include "link_description.h"

#include <linux/if_arp.h>
#include <linux/if_tun.h>

#include <cstring>
#include <string>

#include "sysfs.h"

namespace {

// One kernel link type (ARPHRD_*) as the records show it.
struct LinkType {
    uint16_t arphrd;
    uint32_t adapterType;  // interface type number (ipifcons.h)
    const char* name;      // the description of a link nothing better names
};

// An Ethernet link on a wireless device.
const uint32_t kWirelessType = 71;

const LinkType kOtherLink = {0, 1, "other"};

const LinkType kLinkTypes[] = {
    {ARPHRD_ETHER, 6, "ethernet"},
    {ARPHRD_LOOPBACK, 24, "loopback"},
    {ARPHRD_PPP, 23, "ppp"},
    {ARPHRD_TUNNEL, 131, "tunnel"},
    {ARPHRD_TUNNEL6, 131, "tunnel"},
    {ARPHRD_SIT, 131, "tunnel"},
    {ARPHRD_IPGRE, 131, "tunnel"},
    {ARPHRD_IP6GRE, 131, "tunnel"},
    {ARPHRD_NONE, 131, "none"},  // tun, wireguard
    {ARPHRD_SLIP, 28, "slip"},
    {ARPHRD_FDDI, 15, "fddi"},
    {ARPHRD_IEEE802_TR, 9, "token ring"},
    {ARPHRD_ATM, 37, "atm"},
    {ARPHRD_IEEE1394, 144, "ieee1394"},
    {ARPHRD_INFINIBAND, 1, "infiniband"},
};

// The entry for a kernel link type; an unknown type is "other", number 1.
const LinkType& FindLinkType(uint16_t arphrd)
{
    for (const LinkType& type : kLinkTypes) {
        if (type.arphrd == arphrd) {
            return type;
        }
    }
    return kOtherLink;
}

}  // namespace

void DescribeLink(const NetLink& link, const char* sysNetRoot, HardwareNames& names,
                  AdapterFacts& facts)
{
    const LinkType& type = FindLinkType(link.type);
    // Only a physical device (one without a kind) has sysfs facts worth the
    // reads.
    bool physical = link.kind[0] == '\0';
    bool sysKnown = physical && IsOwnSysEntry(sysNetRoot, link);
    facts.type = sysKnown && link.type == ARPHRD_ETHER && IsWireless(sysNetRoot, link.name)
                     ? kWirelessType
                     : type.adapterType;
    char modalias[256];
    if (!physical) {
        // tun and tap devices share their kind; the kernel tells them apart.
        facts.description =
            strcmp(link.kind, "tun") == 0 && link.tunType == IFF_TAP ? "tap" : link.kind;
    } else if (!sysKnown) {
        facts.description = type.name;
    } else if ((ReadDeviceModalias(sysNetRoot, link.name, modalias, sizeof(modalias)) != 0 ||
                LookUpProductName(names, modalias, &facts.description) != 0) &&
               ReadDriverName(sysNetRoot, link.name, &facts.description) != 0) {
        // No product name, no driver: whatever kept them from us, the
        // link's type still describes it.
        facts.description = type.name;
    }
}
