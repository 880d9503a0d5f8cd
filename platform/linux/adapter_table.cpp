#include "adapter_table.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_addr.h>
#include <linux/if_arp.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

#include "text_escape.h"

namespace {

void CopyField(char* field, size_t fieldSize, const char* text, size_t length)
{
    size_t size = strnlen(text, length);
    if (size > fieldSize - 1) {
        size = fieldSize - 1;
    }
    memcpy(field, text, size);
    field[size] = '\0';
}

}  // namespace

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

namespace {

time32_t ClampTime(int64_t seconds)
{
    return static_cast<time32_t>(
        std::min<int64_t>(std::max<int64_t>(seconds, INT32_MIN), INT32_MAX));
}

// Windows interface type numbers (ipifcons.h) for the kernel's ARPHRD_*.
UINT MapInterfaceType(uint16_t type, bool wireless)
{
    switch (type) {
        case ARPHRD_ETHER:
            return wireless ? 71 : 6;
        case ARPHRD_LOOPBACK:
            return 24;
        case ARPHRD_PPP:
            return 23;
        case ARPHRD_TUNNEL:
        case ARPHRD_TUNNEL6:
        case ARPHRD_SIT:
        case ARPHRD_IPGRE:
        case ARPHRD_IP6GRE:
        case ARPHRD_NONE:
            return 131;
        case ARPHRD_SLIP:
            return 28;
        case ARPHRD_FDDI:
            return 15;
        case ARPHRD_IEEE802_TR:
            return 9;
        case ARPHRD_ATM:
            return 37;
        case ARPHRD_IEEE1394:
            return 144;
        default:
            return 1;
    }
}

const char* NameLinkType(uint16_t type)
{
    switch (type) {
        case ARPHRD_ETHER:
            return "ethernet";
        case ARPHRD_LOOPBACK:
            return "loopback";
        case ARPHRD_PPP:
            return "ppp";
        case ARPHRD_TUNNEL:
        case ARPHRD_TUNNEL6:
        case ARPHRD_SIT:
        case ARPHRD_IPGRE:
        case ARPHRD_IP6GRE:
            return "tunnel";
        case ARPHRD_NONE:
            return "none";
        case ARPHRD_SLIP:
            return "slip";
        case ARPHRD_FDDI:
            return "fddi";
        case ARPHRD_IEEE802_TR:
            return "token ring";
        case ARPHRD_ATM:
            return "atm";
        case ARPHRD_IEEE1394:
            return "ieee1394";
        case ARPHRD_INFINIBAND:
            return "infiniband";
        default:
            return "other";
    }
}

// Builds <root>/<name><suffix>; false for a name that could leave the
// interface's own directory.
bool BuildSysPath(const char* root, const char* name, const char* suffix, char* path, size_t size)
{
    if (name[0] == '\0' || strchr(name, '/') != nullptr || strcmp(name, ".") == 0 ||
        strcmp(name, "..") == 0) {
        return false;
    }
    int written = snprintf(path, size, "%s/%s%s", root, name, suffix);
    return written > 0 && static_cast<size_t>(written) < size;
}

bool ReadDriverName(const char* root, const char* name, char* driver, size_t size)
{
    char path[256];
    char target[256];
    if (!BuildSysPath(root, name, "/device/driver", path, sizeof(path))) {
        return false;
    }
    ssize_t length = readlink(path, target, sizeof(target) - 1);
    if (length <= 0 || static_cast<size_t>(length) == sizeof(target) - 1) {  // maybe cut
        return false;
    }
    target[length] = '\0';
    const char* base = strrchr(target, '/');
    base = base != nullptr ? base + 1 : target;
    if (*base == '\0') {
        return false;
    }
    CopyField(driver, size, base, strlen(base));
    return true;
}

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// Reads a small sysfs attribute as a terminated text; false when absent.
bool ReadSysText(const char* root, const char* name, const char* suffix, char* text, size_t size)
{
    char path[256];
    if (!BuildSysPath(root, name, suffix, path, sizeof(path))) {
        return false;
    }
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    ssize_t length = read(fd, text, size - 1);
    close(fd);
    if (length <= 0) {
        return false;
    }
    text[length] = '\0';
    return true;
}

// nsenter --net and unshare -n keep the /sys of the namespace that mounted
// it, where the same name may be another namespace's device. An entry is
// taken as the link's own only when it carries the link's index and
// hardware address.
bool IsOwnSysEntry(const char* root, const NetLink& link)
{
    char text[128];
    if (!ReadSysText(root, link.name, "/ifindex", text, sizeof(text))) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    unsigned long index = strtoul(text, &end, 10);
    if (errno != 0 || end == text || (*end != '\n' && *end != '\0') || index != link.index) {
        return false;
    }
    if (!ReadSysText(root, link.name, "/address", text, sizeof(text))) {
        return link.addressLength == 0;
    }
    // "aa:bb:...", two hexadecimal digits per byte.
    size_t count = 0;
    for (const char* at = text;; at += 3) {
        int high = HexDigitValue(at[0]);
        int low = high < 0 ? -1 : HexDigitValue(at[1]);
        if (low < 0) {
            break;
        }
        if (count < sizeof(link.address) && link.address[count] != high * 16 + low) {
            return false;
        }
        ++count;
        if (at[2] != ':') {
            break;
        }
    }
    return count == link.addressLength;
}

bool IsWireless(const char* root, const char* name)
{
    char path[256];
    struct stat info;
    return (BuildSysPath(root, name, "/wireless", path, sizeof(path)) && stat(path, &info) == 0) ||
           (BuildSysPath(root, name, "/phy80211", path, sizeof(path)) && stat(path, &info) == 0);
}

void DescribeLink(const NetSnapshot& snapshot, const NetLink& link, const char* sysNetRoot,
                  AdapterFacts& facts, std::string& texts)
{
    const char* text = FindLinkAlias(snapshot, link);
    bool physical = link.kind[0] == '\0';
    // Only a physical device has sysfs facts worth the reads.
    bool sysKnown = physical && (link.type == ARPHRD_ETHER || text[0] == '\0') &&
                    IsOwnSysEntry(sysNetRoot, link);
    facts.type = MapInterfaceType(
        link.type, sysKnown && link.type == ARPHRD_ETHER && IsWireless(sysNetRoot, link.name));
    char driver[MAX_ADAPTER_DESCRIPTION_LENGTH + 4];
    if (text[0] == '\0') {
        text = link.kind;
    }
    if (text[0] == '\0') {
        text = sysKnown && ReadDriverName(sysNetRoot, link.name, driver, sizeof(driver))
                   ? driver
                   : NameLinkType(link.type);
    }
    facts.description = static_cast<uint32_t>(texts.size());
    texts.append(text, strnlen(text, MAX_ADAPTER_DESCRIPTION_LENGTH + 3));
    texts.push_back('\0');
}

void ApplyLeaseFacts(const LeaseFacts& lease, int64_t obtained, int64_t expires,
                     AdapterFacts& facts, std::vector<AdapterServers>& servers)
{
    facts.dhcpEnabled = 1;
    AdapterServers named;
    CopyField(named.dhcp, sizeof(named.dhcp), lease.server.data(), lease.server.size());
    for (size_t i = 0; i < lease.wins.size() && i < 2; ++i) {
        CopyField(named.wins[i], sizeof(named.wins[i]), lease.wins[i].data(), lease.wins[i].size());
    }
    facts.haveWins = named.wins[0][0] != '\0' ? 1 : 0;
    facts.servers = static_cast<uint32_t>(servers.size());
    servers.push_back(named);
    facts.leaseObtained = ClampTime(obtained);
    facts.leaseExpires = ClampTime(expires);
}

HeldAddress DescribeHeldAddress(const NetAddress& address, const AdapterClock& clock)
{
    HeldAddress held;
    held.finite = address.finite;
    // tstamp wraps at 2^32 hundredths; the modular difference survives that.
    uint32_t ageHundredths = static_cast<uint32_t>(clock.monotonicHundredths) - address.updated;
    held.updated = clock.realSeconds - ageHundredths / 100;
    held.expires = clock.realSeconds + address.validSeconds;
    return held;
}

// A lease file outlives its client and, keyed by interface index or name,
// is also seen from network namespaces whose interfaces share that index or
// name; only a live lease for an address the interface holds is its own.
bool ApplyOwnLease(const LeaseCandidates& candidates, const AdapterTable& table,
                   const AdapterClock& clock, AdapterFacts& facts,
                   std::vector<AdapterServers>& servers)
{
    auto lookup = [&](uint32_t leased, HeldAddress* held) {
        for (uint32_t i = 0; i < facts.addressCount; ++i) {
            const NetAddress& address =
                table.snapshot.addresses[table.addressOrder[facts.firstAddress + i]];
            if (memcmp(address.address, &leased, sizeof(address.address)) == 0) {
                *held = DescribeHeldAddress(address, clock);
                return true;
            }
        }
        return false;
    };
    int64_t obtained = 0;
    int64_t expires = 0;
    const LeaseFacts* lease =
        ChooseLiveLease(candidates, lookup, clock.realSeconds, &obtained, &expires);
    if (lease == nullptr) {
        return false;
    }
    ApplyLeaseFacts(*lease, obtained, expires, facts, servers);
    return true;
}

// An address the kernel will drop after a while was handed out by a DHCP
// client; its lifetime and last update are the lease.
void ApplyKernelLease(const NetAddress& address, const AdapterClock& clock, AdapterFacts& facts)
{
    HeldAddress held = DescribeHeldAddress(address, clock);
    facts.dhcpEnabled = 1;
    facts.leaseObtained = ClampTime(held.updated);
    facts.leaseExpires = ClampTime(held.expires);
}

// Groups the items by adapter in one pass each, keeping their order; items
// of interfaces that are not in the table are dropped.
template <typename Item, typename Index, typename Keep>
void GroupByAdapter(const std::vector<Item>& items, const std::vector<uint32_t>& itemOrder,
                    const std::unordered_map<uint32_t, uint32_t>& positions, Index indexOf,
                    Keep keepFirst, std::vector<AdapterFacts>& adapters,
                    uint32_t AdapterFacts::*first, uint32_t AdapterFacts::*count,
                    std::vector<uint32_t>& order)
{
    std::vector<uint32_t> owner(items.size(), UINT32_MAX);
    for (uint32_t item : itemOrder) {
        auto found = positions.find(indexOf(items[item]));
        if (found != positions.end()) {
            owner[item] = found->second;
            ++(adapters[found->second].*count);
        }
    }
    uint32_t total = 0;
    for (AdapterFacts& adapter : adapters) {
        adapter.*first = total;
        total += adapter.*count;
    }
    order.assign(total, 0);
    std::vector<uint32_t> cursor(adapters.size());
    for (size_t i = 0; i < adapters.size(); ++i) {
        cursor[i] = adapters[i].*first;
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (uint32_t item : itemOrder) {
            if (owner[item] != UINT32_MAX && keepFirst(items[item]) == (pass == 0)) {
                order[cursor[owner[item]]++] = item;
            }
        }
    }
}

}  // namespace

AdapterClock ReadAdapterClock()
{
    AdapterClock clock;
    timespec real = {};
    timespec monotonic = {};
    clock_gettime(CLOCK_REALTIME, &real);
    clock_gettime(CLOCK_MONOTONIC, &monotonic);
    clock.realSeconds = real.tv_sec;
    clock.monotonicHundredths = static_cast<uint64_t>(monotonic.tv_sec) * 100 +
                                static_cast<uint64_t>(monotonic.tv_nsec) / 10000000;
    return clock;
}

const char* FindAdapterDescription(const AdapterTable& table, const AdapterFacts& facts)
{
    return facts.description < table.texts.size() ? table.texts.c_str() + facts.description : "";
}

std::vector<LeaseInterface> ListLeaseInterfaces(const NetSnapshot& snapshot)
{
    std::vector<LeaseInterface> interfaces;
    interfaces.reserve(snapshot.links.size());
    for (const NetLink& link : snapshot.links) {
        interfaces.push_back(LeaseInterface{link.name, link.index});
    }
    return interfaces;
}

void BuildAdapterTable(AdapterTable& table,
                       const std::unordered_map<uint32_t, LeaseCandidates>& leases,
                       const AdapterClock& clock, const char* sysNetRoot)
{
    const NetSnapshot& snapshot = table.snapshot;
    std::vector<uint32_t> linkOrder(snapshot.links.size());
    for (uint32_t i = 0; i < linkOrder.size(); ++i) {
        linkOrder[i] = i;
    }
    std::sort(linkOrder.begin(), linkOrder.end(), [&](uint32_t a, uint32_t b) {
        return snapshot.links[a].index < snapshot.links[b].index;
    });
    table.adapters.assign(linkOrder.size(), AdapterFacts());
    table.servers.clear();
    table.texts.clear();
    std::unordered_map<uint32_t, uint32_t> positions;
    positions.reserve(linkOrder.size());
    for (uint32_t i = 0; i < linkOrder.size(); ++i) {
        table.adapters[i].link = linkOrder[i];
        positions.emplace(snapshot.links[linkOrder[i]].index, i);
    }

    std::vector<uint32_t> itemOrder(snapshot.addresses.size());
    for (uint32_t i = 0; i < itemOrder.size(); ++i) {
        itemOrder[i] = i;
    }
    GroupByAdapter(
        snapshot.addresses, itemOrder, positions, [](const NetAddress& a) { return a.index; },
        [](const NetAddress& a) { return (a.flags & IFA_F_SECONDARY) == 0; }, table.adapters,
        &AdapterFacts::firstAddress, &AdapterFacts::addressCount, table.addressOrder);

    itemOrder.resize(snapshot.gateways.size());
    for (uint32_t i = 0; i < itemOrder.size(); ++i) {
        itemOrder[i] = i;
    }
    std::stable_sort(itemOrder.begin(), itemOrder.end(), [&](uint32_t a, uint32_t b) {
        return snapshot.gateways[a].priority < snapshot.gateways[b].priority;
    });
    // A gateway reached by several default routes (other metrics, a next
    // hop named twice) is still one gateway of the adapter.
    std::unordered_set<uint64_t> seen;
    size_t kept = 0;
    for (uint32_t item : itemOrder) {
        const NetGateway& gateway = snapshot.gateways[item];
        uint32_t address;
        memcpy(&address, gateway.address, sizeof(address));
        if (seen.insert(uint64_t(gateway.index) << 32 | address).second) {
            itemOrder[kept++] = item;
        }
    }
    itemOrder.resize(kept);
    GroupByAdapter(
        snapshot.gateways, itemOrder, positions, [](const NetGateway& g) { return g.index; },
        [](const NetGateway&) { return true; }, table.adapters, &AdapterFacts::firstGateway,
        &AdapterFacts::gatewayCount, table.gatewayOrder);

    for (AdapterFacts& facts : table.adapters) {
        const NetLink& link = snapshot.links[facts.link];
        DescribeLink(snapshot, link, sysNetRoot, facts, table.texts);
        const NetAddress* leased = nullptr;
        for (uint32_t i = 0; i < facts.addressCount && leased == nullptr; ++i) {
            const NetAddress& address =
                snapshot.addresses[table.addressOrder[facts.firstAddress + i]];
            if (address.finite) {
                leased = &address;
            }
        }
        auto candidates = leases.find(link.index);
        if ((candidates == leases.end() ||
             !ApplyOwnLease(candidates->second, table, clock, facts, table.servers)) &&
            leased != nullptr) {
            ApplyKernelLease(*leased, clock, facts);
        }
    }
}

size_t MeasureAdapterRecords(const AdapterTable& table)
{
    size_t nodes = 0;
    for (const AdapterFacts& facts : table.adapters) {
        nodes += facts.addressCount > 1 ? facts.addressCount - 1 : 0;
        nodes += facts.gatewayCount > 1 ? facts.gatewayCount - 1 : 0;
    }
    return table.adapters.size() * sizeof(IP_ADAPTER_INFO) + nodes * sizeof(IP_ADDR_STRING);
}

namespace {

// Host-sized texts: a gateway, DHCP or WINS server node carries the mask
// 255.255.255.255; a list with nothing in it keeps one node of empty texts.
void FillServerNode(IP_ADDR_STRING& node, const char* address)
{
    if (address[0] != '\0') {
        CopyEscapedText(node.IpAddress.String, sizeof(node.IpAddress.String), address,
                        strlen(address));
        strcpy(node.IpMask.String, "255.255.255.255");
    }
}

// Context of an address node is the address as the 32-bit value of its
// bytes in network order; other nodes carry 0.
void FillAddressNode(IP_ADDR_STRING& node, const NetAddress& address)
{
    FormatDotted(address.address, node.IpAddress.String);
    FormatMask(address.prefixLength, node.IpMask.String);
    memcpy(&node.Context, address.address, sizeof(node.Context));
}

}  // namespace

DWORD AnswerAdapterQuery(const AdapterTable& table, PIP_ADAPTER_INFO buffer, PULONG length)
{
    if (table.adapters.empty()) {
        return ERROR_NO_DATA;
    }
    size_t needed = MeasureAdapterRecords(table);
    if (needed > UINT32_MAX) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (buffer == nullptr || *length < needed) {
        *length = static_cast<ULONG>(needed);
        return ERROR_BUFFER_OVERFLOW;
    }
    const NetSnapshot& snapshot = table.snapshot;
    size_t count = table.adapters.size();
    memset(buffer, 0, needed);
    IP_ADDR_STRING* spare = reinterpret_cast<IP_ADDR_STRING*>(buffer + count);
    for (size_t i = 0; i < count; ++i) {
        const AdapterFacts& facts = table.adapters[i];
        const NetLink& link = snapshot.links[facts.link];
        IP_ADAPTER_INFO& record = buffer[i];
        record.Next = i + 1 < count ? &buffer[i + 1] : nullptr;
        // ComboIndex repeats the interface index.
        record.ComboIndex = link.index;
        CopyEscapedText(record.AdapterName, sizeof(record.AdapterName), link.name,
                        strnlen(link.name, sizeof(link.name)));
        const char* description = FindAdapterDescription(table, facts);
        CopyEscapedText(record.Description, sizeof(record.Description), description,
                        strlen(description));
        record.AddressLength = std::min<UINT>(link.addressLength, MAX_ADAPTER_ADDRESS_LENGTH);
        memcpy(record.Address, link.address, record.AddressLength);
        record.Index = link.index;
        record.Type = facts.type;
        record.DhcpEnabled = facts.dhcpEnabled;

        if (facts.addressCount == 0) {
            strcpy(record.IpAddressList.IpAddress.String, "0.0.0.0");
            strcpy(record.IpAddressList.IpMask.String, "0.0.0.0");
        } else {
            record.CurrentIpAddress = &record.IpAddressList;
        }
        IP_ADDR_STRING* node = &record.IpAddressList;
        for (uint32_t a = 0; a < facts.addressCount; ++a) {
            if (a > 0) {
                node->Next = spare;
                node = spare++;
            }
            FillAddressNode(*node, snapshot.addresses[table.addressOrder[facts.firstAddress + a]]);
        }
        node = &record.GatewayList;
        for (uint32_t g = 0; g < facts.gatewayCount; ++g) {
            if (g > 0) {
                node->Next = spare;
                node = spare++;
            }
            char text[16];
            FormatDotted(snapshot.gateways[table.gatewayOrder[facts.firstGateway + g]].address,
                         text);
            FillServerNode(*node, text);
        }
        if (facts.servers < table.servers.size()) {
            const AdapterServers& named = table.servers[facts.servers];
            FillServerNode(record.DhcpServer, named.dhcp);
            FillServerNode(record.PrimaryWinsServer, named.wins[0]);
            FillServerNode(record.SecondaryWinsServer, named.wins[1]);
        }
        record.HaveWins = facts.haveWins;
        record.LeaseObtained = facts.leaseObtained;
        record.LeaseExpires = facts.leaseExpires;
    }
    return ERROR_SUCCESS;
}

DWORD MapKernelError(int error)
{
    switch (error) {
        case 0:
            return ERROR_SUCCESS;
        case EACCES:
        case EPERM:
            return ERROR_ACCESS_DENIED;
        case ENOMEM:
        case ENOBUFS:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EAFNOSUPPORT:
        case EPROTONOSUPPORT:
        case EOPNOTSUPP:
            return ERROR_NOT_SUPPORTED;
        default:
            return ERROR_GEN_FAILURE;
    }
}
