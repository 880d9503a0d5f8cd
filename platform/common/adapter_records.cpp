#include "adapter_records.h"

#include <algorithm>
#include <cstring>

#include "text_escape.h"

namespace {

const char kHostMask[] = "255.255.255.255";
const char kNoAddress[] = "0.0.0.0";

uint64_t ExtraNodes(size_t listLength)
{
    return listLength > 1 ? listLength - 1 : 0;
}

// An address node's Context is the address's bytes in network order read
// as a little-endian number, as Windows reads them: one value for one
// address whatever the byte order of the machine.
DWORD AddressContext(const uint8_t bytes[4])
{
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<DWORD>(bytes[3]) << 24;
}

void FillAddressNode(IP_ADDR_STRING& node, const AdapterAddress& address)
{
    FormatDotted(address.address.bytes, node.IpAddress.String);
    FormatMask(address.prefixLength, node.IpMask.String);
    node.Context = AddressContext(address.address.bytes);
}

// A gateway or server is one host: its mask is 255.255.255.255.
void FillServerNode(IP_ADDR_STRING& node, const Ipv4Bytes& server)
{
    FormatDotted(server.bytes, node.IpAddress.String);
    memcpy(node.IpMask.String, kHostMask, sizeof(kHostMask));
}

// Fills the embedded first node and chains the rest from the extra nodes
// that follow the records; *next is the first one still free, and the
// measurement leaves room for exactly ExtraNodes of every list.
template <typename Item, typename Fill>
void FillList(IP_ADDR_STRING& first, const std::vector<Item>& items, IP_ADDR_STRING** next,
              Fill fill)
{
    IP_ADDR_STRING* node = &first;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) {
            node->Next = (*next)++;
            node = node->Next;
        }
        fill(*node, items[i]);
    }
}

void FillRecord(IP_ADAPTER_INFO& record, const AdapterFacts& facts, IP_ADDR_STRING** next)
{
    // ComboIndex repeats the interface index.
    record.ComboIndex = facts.index;
    CopyEscapedText(record.AdapterName, sizeof(record.AdapterName), facts.name.data(),
                    facts.name.size());
    CopyEscapedText(record.Description, sizeof(record.Description), facts.description.data(),
                    facts.description.size());
    record.AddressLength = std::min<UINT>(facts.hardwareLength, MAX_ADAPTER_ADDRESS_LENGTH);
    memcpy(record.Address, facts.hardware, record.AddressLength);
    record.Index = facts.index;
    record.Type = facts.type;
    record.DhcpEnabled = facts.dhcpEnabled ? 1 : 0;

    // An adapter without an address shows one node of zeros and no current
    // address.
    if (facts.addresses.empty()) {
        memcpy(record.IpAddressList.IpAddress.String, kNoAddress, sizeof(kNoAddress));
        memcpy(record.IpAddressList.IpMask.String, kNoAddress, sizeof(kNoAddress));
    } else {
        record.CurrentIpAddress = &record.IpAddressList;
    }
    FillList(record.IpAddressList, facts.addresses, next, FillAddressNode);
    FillList(record.GatewayList, facts.gateways, next, FillServerNode);
    if (facts.haveDhcpServer) {
        FillServerNode(record.DhcpServer, facts.dhcpServer);
    }
    record.HaveWins = facts.wins.empty() ? 0 : 1;
    if (facts.wins.size() > 0) {
        FillServerNode(record.PrimaryWinsServer, facts.wins[0]);
    }
    if (facts.wins.size() > 1) {
        FillServerNode(record.SecondaryWinsServer, facts.wins[1]);
    }
    record.LeaseObtained = ClampTime(facts.leaseObtained);
    record.LeaseExpires = ClampTime(facts.leaseExpires);
}

}  // namespace

DWORD CheckAdapterBuffer(PIP_ADAPTER_INFO buffer, PULONG length)
{
    if (length == nullptr || (buffer == nullptr && *length != 0) ||
        reinterpret_cast<uintptr_t>(buffer) % alignof(IP_ADAPTER_INFO) != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    return ERROR_SUCCESS;
}

uint64_t MeasureAdapterRecords(const std::vector<AdapterFacts>& adapters)
{
    uint64_t nodes = 0;
    for (const AdapterFacts& adapter : adapters) {
        nodes += ExtraNodes(adapter.addresses.size());
        nodes += ExtraNodes(adapter.gateways.size());
    }
    return adapters.size() * uint64_t{sizeof(IP_ADAPTER_INFO)} +
           nodes * uint64_t{sizeof(IP_ADDR_STRING)};
}

DWORD WriteAdapterRecords(const std::vector<AdapterFacts>& adapters, PIP_ADAPTER_INFO buffer,
                          PULONG length, uint64_t maxLength)
{
    DWORD checked = CheckAdapterBuffer(buffer, length);
    if (checked != ERROR_SUCCESS) {
        return checked;
    }
    if (adapters.empty()) {
        return ERROR_NO_DATA;
    }
    uint64_t needed = MeasureAdapterRecords(adapters);
    if (needed > maxLength) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (buffer == nullptr || *length < needed) {
        *length = static_cast<ULONG>(needed);
        return ERROR_BUFFER_OVERFLOW;
    }

    size_t count = adapters.size();
    memset(buffer, 0, static_cast<size_t>(needed));
    IP_ADAPTER_INFO* records = buffer;
    IP_ADDR_STRING* next = reinterpret_cast<IP_ADDR_STRING*>(records + count);
    for (size_t i = 0; i < count; ++i) {
        IP_ADAPTER_INFO& record = records[i];
        record.Next = i + 1 < count ? &records[i + 1] : nullptr;
        FillRecord(record, adapters[i], &next);
    }
    return ERROR_SUCCESS;
}

// Written by hand: snprintf was most of the time spent answering a query
// for thousands of interfaces.
void FormatDotted(const uint8_t bytes[4], char* text)
{
    for (int i = 0; i < 4; ++i) {
        unsigned value = bytes[i];
        if (value >= 100) {
            *text++ = static_cast<char>('0' + value / 100);
        }
        if (value >= 10) {
            *text++ = static_cast<char>('0' + value / 10 % 10);
        }
        *text++ = static_cast<char>('0' + value % 10);
        *text++ = i < 3 ? '.' : '\0';
    }
}

void FormatMask(uint8_t prefixLength, char* text)
{
    uint32_t bits = prefixLength >= 32  ? 0xFFFFFFFFu
                    : prefixLength == 0 ? 0u
                                        : ~(0xFFFFFFFFu >> prefixLength);
    const uint8_t bytes[4] = {static_cast<uint8_t>(bits >> 24), static_cast<uint8_t>(bits >> 16),
                              static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits)};
    FormatDotted(bytes, text);
}

time32_t ClampTime(int64_t seconds)
{
    if (seconds > INT32_MAX) {
        return INT32_MAX;
    }
    return seconds < INT32_MIN ? INT32_MIN : static_cast<time32_t>(seconds);
}
