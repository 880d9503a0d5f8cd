#include "link_description.h"

#include <linux/if_arp.h>
#include <linux/if_tun.h>

#include <cstring>
#include <string>

#include "posix.h"
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

int DescribeLink(const NetInterface& link, const char* sysNetRoot, HardwareNames& names,
                 AdapterFacts& facts)
{
    const LinkType& type = FindLinkType(link.type);
    facts.type = type.adapterType;
    facts.description = type.name;
    if (link.kind[0] != '\0') {
        // tun and tap devices share their kind; the kernel tells them apart.
        facts.description =
            strcmp(link.kind, "tun") == 0 && link.tunType == IFF_TAP ? "tap" : link.kind;
        return 0;
    }
    // Only a physical device (one without a kind) has sysfs facts worth the
    // reads; what they do not find leaves the link's type to describe it.
    bool own = false;
    bool wireless = false;
    int error = CheckOwnSysEntry(sysNetRoot, link, &own);
    if (error == 0 && own && link.type == ARPHRD_ETHER) {
        error = CheckWireless(sysNetRoot, link.name, &wireless);
    }
    if (error != 0 || !own) {
        return error;
    }
    facts.type = wireless ? kWirelessType : facts.type;
    char modalias[256];
    error = ReadDeviceModalias(sysNetRoot, link.name, modalias, sizeof(modalias));
    if (error == 0 && LookUpProductName(names, modalias, &facts.description) == 0) {
        return 0;
    }
    if (!LosesFacts(error)) {
        error = ReadDriverName(sysNetRoot, link.name, &facts.description);
    }
    return LosesFacts(error) ? error : 0;
}
