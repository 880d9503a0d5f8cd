#include "gather_facts.h"

#include <fcntl.h>
#include <linux/if_addr.h>
#include <sys/times.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "lease_policy.h"
#include "link_description.h"
#include "posix.h"
#include "text_fields.h"

namespace {

// Links in interface-index order; a position is found by binary search, so
// thousands of links cost no lookup table.
struct LinkOrder {
    std::vector<const NetLink*> links;

    explicit LinkOrder(const NetSnapshot& snapshot)
    {
        links.reserve(snapshot.links.size());
        for (const NetLink& link : snapshot.links) {
            links.push_back(&link);
        }
        // Stable: of two links with one index, the first dumped is found.
        std::stable_sort(links.begin(), links.end(),
                         [](const NetLink* a, const NetLink* b) { return a->index < b->index; });
    }

    // The position of the link with this index, or links.size().
    size_t Find(uint32_t index) const
    {
        auto found = std::lower_bound(
            links.begin(), links.end(), index,
            [](const NetLink* link, uint32_t wanted) { return link->index < wanted; });
        return found != links.end() && (*found)->index == index
                   ? static_cast<size_t>(found - links.begin())
                   : links.size();
    }
};

// The addresses of each adapter, primaries first, each in dump order.
std::vector<std::vector<const NetAddress*>> GroupAddresses(const NetSnapshot& snapshot,
                                                           const LinkOrder& order)
{
    std::vector<std::vector<const NetAddress*>> grouped(order.links.size());
    for (bool primary : {true, false}) {
        for (const NetAddress& address : snapshot.addresses) {
            size_t owner = order.Find(address.index);
            if (owner < grouped.size() && ((address.flags & IFA_F_SECONDARY) == 0) == primary) {
                grouped[owner].push_back(&address);
            }
        }
    }
    return grouped;
}

// A gateway reached by several default routes (other metrics, a next hop
// named twice) is still one gateway of the adapter.
void AddGateways(const NetSnapshot& snapshot, const LinkOrder& order,
                 std::vector<AdapterFacts>& adapters)
{
    std::vector<const NetGateway*> gateways;
    gateways.reserve(snapshot.gateways.size());
    for (const NetGateway& gateway : snapshot.gateways) {
        gateways.push_back(&gateway);
    }
    std::stable_sort(
        gateways.begin(), gateways.end(),
        [](const NetGateway* a, const NetGateway* b) { return a->priority < b->priority; });
    std::unordered_set<uint64_t> seen;
    for (const NetGateway* gateway : gateways) {
        size_t position = order.Find(gateway->index);
        uint32_t address;
        memcpy(&address, gateway->address, sizeof(address));
        if (position == adapters.size() ||
            !seen.insert(uint64_t{gateway->index} << 32 | address).second) {
            continue;
        }
        Ipv4Bytes bytes;
        memcpy(bytes.bytes, gateway->address, sizeof(bytes.bytes));
        adapters[position].gateways.push_back(bytes);
    }
}

// The lease policy's view of a kernel address: its times on the real-time
// clock.
AssignedAddress DescribeAssignedAddress(const NetAddress& address, const KernelClock& clock)
{
    AssignedAddress assigned;
    memcpy(assigned.address.bytes, address.address, sizeof(assigned.address.bytes));
    assigned.finite = address.finite;
    AddressTimes times = DeriveAddressTimes(address.updated, address.validSeconds, clock);
    assigned.updated = times.updated;
    assigned.expires = times.expires;
    return assigned;
}

}  // namespace

int ParseMonotonicOffset(std::string_view text, int64_t* hundredths)
{
    // Lines of "<clock> <seconds> <nanoseconds>"; the clock is named, or
    // given by its number (1) on the kernels that first had the file.
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        std::string_view fields[3];
        size_t count = 0;
        while (!line.empty() && count <= 3) {
            size_t start = line.find_first_not_of(" \t");
            if (start == std::string_view::npos) {
                break;
            }
            line.remove_prefix(start);
            size_t stop = std::min(line.find_first_of(" \t"), line.size());
            if (count < 3) {
                fields[count] = line.substr(0, stop);
            }
            count++;
            line.remove_prefix(stop);
        }
        if (count == 0 || (fields[0] != "monotonic" && fields[0] != "1")) {
            continue;
        }
        bool negative = !fields[1].empty() && fields[1].front() == '-';
        uint64_t seconds = 0;
        uint64_t nanoseconds = 0;
        if (count != 3 ||
            ParseDecimal(fields[1].substr(negative ? 1 : 0), INT32_MAX, &seconds) != 0 ||
            ParseDecimal(fields[2], 999999999, &nanoseconds) != 0) {
            return EBADMSG;
        }
        // A timespec: whole seconds carry the sign, nanoseconds add to them.
        int64_t whole = static_cast<int64_t>(seconds) * 100;
        *hundredths = (negative ? -whole : whole) + static_cast<int64_t>(nanoseconds / 10000000);
        return 0;
    }
    return ENOENT;
}

KernelClock ReadKernelClock()
{
    KernelClock clock;
    timespec real = {};
    timespec monotonic = {};
    clock_gettime(CLOCK_REALTIME, &real);
    clock_gettime(CLOCK_MONOTONIC, &monotonic);
    clock.realSeconds = real.tv_sec;
    clock.realHundredths = static_cast<uint32_t>(real.tv_nsec / 10000000);
    clock.monotonicHundredths = static_cast<uint64_t>(monotonic.tv_sec) * 100 +
                                static_cast<uint64_t>(monotonic.tv_nsec) / 10000000;
    Descriptor fd(open("/proc/self/timens_offsets", O_RDONLY | O_CLOEXEC));
    char text[256];
    ssize_t got = fd.get() < 0 ? -1 : read(fd.get(), text, sizeof text);
    // A file that names no offset, or one we cannot read, moves nothing.
    int64_t offset = 0;
    if (got > 0 &&
        ParseMonotonicOffset(std::string_view(text, static_cast<size_t>(got)), &offset) == 0) {
        clock.monotonicHundredths -= static_cast<uint64_t>(offset);
    }
    // The kernel counts address lifetimes in its own ticks, which may trail
    // CLOCK_MONOTONIC by a large part of a second; times() tells them.
    tms unused;
    clock.monotonicHundredths = KernelHundredths(times(&unused), clock.monotonicHundredths);
    return clock;
}

std::vector<AdapterFacts> GatherAdapterFacts(
    const NetSnapshot& snapshot, const std::unordered_map<uint32_t, LeaseCandidates>& leases,
    const KernelClock& clock, const char* sysNetRoot)
{
    LinkOrder order(snapshot);
    std::vector<std::vector<const NetAddress*>> grouped = GroupAddresses(snapshot, order);
    std::vector<AdapterFacts> adapters(order.links.size());
    AddGateways(snapshot, order, adapters);
    std::vector<AssignedAddress> described;
    HardwareNames names;
    for (size_t i = 0; i < adapters.size(); ++i) {
        const NetLink& link = *order.links[i];
        AdapterFacts& facts = adapters[i];
        facts.name.assign(link.name, strnlen(link.name, sizeof(link.name)));
        facts.hardwareLength = link.addressLength;
        memcpy(facts.hardware, link.address, sizeof(facts.hardware));
        facts.index = link.index;
        const std::vector<const NetAddress*>& assigned = grouped[i];
        size_t assignedCount = assigned.size();
        facts.addresses.resize(assignedCount);
        described.resize(assignedCount);
        for (size_t a = 0; a < assignedCount; ++a) {
            described[a] = DescribeAssignedAddress(*assigned[a], clock);
            facts.addresses[a].address = described[a].address;
            facts.addresses[a].prefixLength = assigned[a]->prefixLength;
        }
        DescribeLink(link, sysNetRoot, names, facts);
        auto candidates = leases.empty() ? leases.end() : leases.find(link.index);
        ApplyLeasePolicy(described.data(), assignedCount,
                         candidates == leases.end() ? nullptr : &candidates->second,
                         clock.realSeconds, facts);
    }
    return adapters;
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
