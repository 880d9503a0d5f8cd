#include "adapter_records.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Ipv4 {
    const BYTE* bytes;  // network order
    UINT8 prefixLength;
    ULONG leaseLifetime;
};

// Addresses in the list are the system's, but their lengths are still
// checked before a sockaddr_in is read through them.
const BYTE* Ipv4Bytes(const SOCKET_ADDRESS& address)
{
    if (address.lpSockaddr == NULL || address.iSockaddrLength < (INT)sizeof(sockaddr_in) ||
        address.lpSockaddr->sa_family != AF_INET) {
        return NULL;
    }
    return (const BYTE*)&((const sockaddr_in*)address.lpSockaddr)->sin_addr;
}

template <typename Node>
std::vector<Ipv4> CollectServers(const Node* node)
{
    std::vector<Ipv4> found;
    for (; node != NULL; node = node->Next) {
        if (const BYTE* bytes = Ipv4Bytes(node->Address)) {
            found.push_back({bytes, 32, 0});
        }
    }
    return found;
}

std::vector<Ipv4> CollectUnicast(const IP_ADAPTER_UNICAST_ADDRESS_LH* node)
{
    std::vector<Ipv4> found;
    for (; node != NULL; node = node->Next) {
        if (const BYTE* bytes = Ipv4Bytes(node->Address)) {
            found.push_back({bytes, node->OnLinkPrefixLength, node->LeaseLifetime});
        }
    }
    return found;
}

struct Adapter {
    const IP_ADAPTER_ADDRESSES_LH* source;
    std::vector<Ipv4> unicast;
    std::vector<Ipv4> gateways;
    std::vector<Ipv4> wins;
};

void PutDotted(char (&field)[16], const BYTE* bytes)
{
    snprintf(field, sizeof(field), "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
}

void PutMask(char (&field)[16], UINT8 prefixLength)
{
    unsigned int length = prefixLength > 32 ? 32 : prefixLength;
    uint32_t mask = length == 0 ? 0 : 0xFFFFFFFFu << (32 - length);
    BYTE bytes[4] = {(BYTE)(mask >> 24), (BYTE)(mask >> 16), (BYTE)(mask >> 8), (BYTE)mask};
    PutDotted(field, bytes);
}

void PutServer(IP_ADDR_STRING* node, const Ipv4& server)
{
    PutDotted(node->IpAddress.String, server.bytes);
    PutMask(node->IpMask.String, server.prefixLength);
}

// Fills the embedded node and takes further nodes from the pool; the list
// stays one node with the given texts when there is nothing to show.
void PutList(IP_ADDR_STRING* first, const std::vector<Ipv4>& addresses, IP_ADDR_STRING*& pool,
             bool withMasks, const char* emptyText)
{
    if (addresses.empty()) {
        snprintf(first->IpAddress.String, sizeof(first->IpAddress.String), "%s", emptyText);
        snprintf(first->IpMask.String, sizeof(first->IpMask.String), "%s", emptyText);
        return;
    }
    IP_ADDR_STRING* node = first;
    for (size_t i = 0; i < addresses.size(); i++) {
        if (i > 0) {
            node->Next = pool++;
            node = node->Next;
        }
        PutDotted(node->IpAddress.String, addresses[i].bytes);
        PutMask(node->IpMask.String, withMasks ? addresses[i].prefixLength : 32);
    }
}

void PutText(char* field, size_t fieldSize, const char* text)
{
    if (text != NULL) {
        size_t length = strnlen(text, fieldSize - 1);
        memcpy(field, text, length);
        field[length] = '\0';
    }
}

// The description in the ANSI code page, cut before a character that
// would not fit whole.
void PutDescription(char* field, size_t fieldSize, const WCHAR* description)
{
    if (description == NULL) {
        return;
    }
    int size = WideCharToMultiByte(CP_ACP, 0, description, -1, NULL, 0, NULL, NULL);
    if (size <= 0) {
        return;
    }
    std::string text((size_t)size, '\0');
    WideCharToMultiByte(CP_ACP, 0, description, -1, &text[0], size, NULL, NULL);
    size_t keep = 0;
    for (size_t i = 0; i < text.size() && text[i] != '\0';) {
        size_t step = IsDBCSLeadByte((BYTE)text[i]) && i + 1 < text.size() ? 2 : 1;
        if (i + step > fieldSize - 1) {
            break;
        }
        i += step;
        keep = i;
    }
    memcpy(field, text.data(), keep);
    field[keep] = '\0';
}

int32_t ClampToTime32(int64_t seconds)
{
    if (seconds > INT32_MAX) {
        return INT32_MAX;
    }
    return seconds < INT32_MIN ? INT32_MIN : (int32_t)seconds;
}

void PutLeases(IP_ADAPTER_INFO* record, const Adapter& adapter, const AdapterClock& clock)
{
    if (!record->DhcpEnabled) {
        return;
    }
    if (clock.leaseObtained) {
        record->LeaseObtained = clock.leaseObtained(record->AdapterName);
    }
    for (const Ipv4& address : adapter.unicast) {
        if (address.leaseLifetime != 0 && address.leaseLifetime != 0xFFFFFFFFu) {
            record->LeaseExpires = ClampToTime32(clock.now + address.leaseLifetime);
            break;
        }
    }
}

void PutRecord(IP_ADAPTER_INFO* record, const Adapter& adapter, IP_ADDR_STRING*& pool,
               const AdapterClock& clock)
{
    const IP_ADAPTER_ADDRESSES_LH* source = adapter.source;
    record->ComboIndex = source->IfIndex;
    PutText(record->AdapterName, sizeof(record->AdapterName), source->AdapterName);
    PutDescription(record->Description, sizeof(record->Description), source->Description);
    record->AddressLength = source->PhysicalAddressLength < sizeof(record->Address)
                                ? source->PhysicalAddressLength
                                : (UINT)sizeof(record->Address);
    memcpy(record->Address, source->PhysicalAddress, record->AddressLength);
    record->Index = source->IfIndex;
    record->Type = source->IfType;
    record->DhcpEnabled = (source->Flags & IP_ADAPTER_DHCP_ENABLED) != 0 ? 1 : 0;

    PutList(&record->IpAddressList, adapter.unicast, pool, true, "0.0.0.0");
    record->CurrentIpAddress = adapter.unicast.empty() ? NULL : &record->IpAddressList;
    PutList(&record->GatewayList, adapter.gateways, pool, false, "");
    if (const BYTE* server = Ipv4Bytes(source->Dhcpv4Server)) {
        PutServer(&record->DhcpServer, {server, 32, 0});
    }
    record->HaveWins = adapter.wins.empty() ? FALSE : TRUE;
    if (adapter.wins.size() > 0) {
        PutServer(&record->PrimaryWinsServer, adapter.wins[0]);
    }
    if (adapter.wins.size() > 1) {
        PutServer(&record->SecondaryWinsServer, adapter.wins[1]);
    }
    PutLeases(record, adapter, clock);
}

size_t ExtraNodes(const std::vector<Ipv4>& list)
{
    return list.empty() ? 0 : list.size() - 1;
}

}  // namespace

DWORD FillAdapterRecords(const IP_ADAPTER_ADDRESSES_LH* first, const AdapterClock& clock,
                         PIP_ADAPTER_INFO buffer, PULONG length)
{
    std::vector<Adapter> adapters;
    uint64_t needed = 0;
    for (const IP_ADAPTER_ADDRESSES_LH* source = first; source != NULL; source = source->Next) {
        Adapter adapter{source, CollectUnicast(source->FirstUnicastAddress),
                        CollectServers(source->FirstGatewayAddress),
                        CollectServers(source->FirstWinsServerAddress)};
        needed +=
            sizeof(IP_ADAPTER_INFO) +
            (ExtraNodes(adapter.unicast) + ExtraNodes(adapter.gateways)) * sizeof(IP_ADDR_STRING);
        adapters.push_back(std::move(adapter));
    }
    if (adapters.empty()) {
        return ERROR_NO_DATA;
    }
    if (needed > 0xFFFFFFFFu) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (*length < needed) {
        *length = (ULONG)needed;
        return ERROR_BUFFER_OVERFLOW;
    }

    memset(buffer, 0, (size_t)needed);
    IP_ADDR_STRING* pool = (IP_ADDR_STRING*)(buffer + adapters.size());
    for (size_t i = 0; i < adapters.size(); i++) {
        buffer[i].Next = i + 1 < adapters.size() ? &buffer[i + 1] : NULL;
        PutRecord(&buffer[i], adapters[i], pool, clock);
    }
    return ERROR_SUCCESS;
}
