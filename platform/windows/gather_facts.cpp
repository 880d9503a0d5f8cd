#include "gather_facts.h"

#include <cstring>
#include <string>

namespace {

// Addresses in the list are the system's, but their lengths are still
// checked before a sockaddr_in is read through them.
bool ReadIpv4(const SOCKET_ADDRESS& address, Ipv4Bytes* ipv4)
{
    if (address.lpSockaddr == NULL || address.iSockaddrLength < (INT)sizeof(sockaddr_in) ||
        address.lpSockaddr->sa_family != AF_INET) {
        return false;
    }
    memcpy(ipv4->bytes, &((const sockaddr_in*)address.lpSockaddr)->sin_addr, 4);
    return true;
}

template <typename Node>
std::vector<Ipv4Bytes> CollectServers(const Node* node)
{
    std::vector<Ipv4Bytes> found;
    Ipv4Bytes address;
    for (; node != NULL; node = node->Next) {
        if (ReadIpv4(node->Address, &address)) {
            found.push_back(address);
        }
    }
    return found;
}

// The description in the ANSI code page, cut before a character that
// would not fit whole in the record's field.
std::string ConvertDescription(const WCHAR* description)
{
    if (description == NULL) {
        return std::string();
    }
    int size = WideCharToMultiByte(CP_ACP, 0, description, -1, NULL, 0, NULL, NULL);
    if (size <= 0) {
        return std::string();
    }
    std::string text((size_t)size, '\0');
    WideCharToMultiByte(CP_ACP, 0, description, -1, &text[0], size, NULL, NULL);
    const size_t room = MAX_ADAPTER_DESCRIPTION_LENGTH + 3;
    size_t keep = 0;
    for (size_t i = 0; i < text.size() && text[i] != '\0';) {
        size_t step = IsDBCSLeadByte((BYTE)text[i]) && i + 1 < text.size() ? 2 : 1;
        if (i + step > room) {
            break;
        }
        i += step;
        keep = i;
    }
    text.resize(keep);
    return text;
}

// The system gives lease lifetimes only; the start is what Windows
// recorded when the lease was obtained.
void GatherLease(const IP_ADAPTER_ADDRESSES_LH* source, const LeaseClock& clock,
                 AdapterFacts& facts)
{
    if (clock.leaseObtained) {
        facts.leaseObtained = clock.leaseObtained(source->AdapterName);
    }
    for (const IP_ADAPTER_UNICAST_ADDRESS_LH* node = source->FirstUnicastAddress; node != NULL;
         node = node->Next) {
        Ipv4Bytes unused;
        if (ReadIpv4(node->Address, &unused) && node->LeaseLifetime != 0 &&
            node->LeaseLifetime != 0xFFFFFFFFu) {
            facts.leaseExpires = clock.now + node->LeaseLifetime;
            break;
        }
    }
}

AdapterFacts GatherAdapter(const IP_ADAPTER_ADDRESSES_LH* source, const LeaseClock& clock)
{
    AdapterFacts facts;
    if (source->AdapterName != NULL) {
        facts.name.assign(source->AdapterName,
                          strnlen(source->AdapterName, MAX_ADAPTER_NAME_LENGTH + 3));
    }
    facts.description = ConvertDescription(source->Description);
    facts.hardwareLength = source->PhysicalAddressLength;
    memcpy(facts.hardware, source->PhysicalAddress, sizeof(facts.hardware));
    facts.index = source->IfIndex;
    facts.type = source->IfType;
    facts.dhcpEnabled = (source->Flags & IP_ADAPTER_DHCP_ENABLED) != 0;
    for (const IP_ADAPTER_UNICAST_ADDRESS_LH* node = source->FirstUnicastAddress; node != NULL;
         node = node->Next) {
        AdapterAddress address;
        if (ReadIpv4(node->Address, &address.address)) {
            address.prefixLength = node->OnLinkPrefixLength;
            facts.addresses.push_back(address);
        }
    }
    facts.gateways = CollectServers(source->FirstGatewayAddress);
    facts.haveDhcpServer = ReadIpv4(source->Dhcpv4Server, &facts.dhcpServer);
    facts.wins = CollectServers(source->FirstWinsServerAddress);
    if (facts.dhcpEnabled) {
        GatherLease(source, clock, facts);
    }
    return facts;
}

}  // namespace

std::vector<AdapterFacts> GatherAdapterFacts(const IP_ADAPTER_ADDRESSES_LH* first,
                                             const LeaseClock& clock)
{
    std::vector<AdapterFacts> adapters;
    for (const IP_ADAPTER_ADDRESSES_LH* source = first; source != NULL; source = source->Next) {
        // The system's own IPv4 adapter records leave the software loopback
        // interface out; the list of all interfaces has it.
        if (source->IfType != IF_TYPE_SOFTWARE_LOOPBACK) {
            adapters.push_back(GatherAdapter(source, clock));
        }
    }
    return adapters;
}
