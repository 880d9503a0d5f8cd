#include "gather_facts.h"

#include <linux/if_addr.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "lease_policy.h"
#include "link_description.h"

namespace {

// Links in interface-index order; a position is found by binary search, so
// thousands of links cost no lookup table.
struct LinkOrder {
    std::vector<const NetInterface*> links;

    explicit LinkOrder(const NetSnapshot& snapshot)
    {
        links.reserve(snapshot.links.size());
        for (const NetInterface& link : snapshot.links) {
            links.push_back(&link);
        }
        // Stable: of two links with one index, the first dumped is found.
        std::stable_sort(
            links.begin(), links.end(),
            [](const NetInterface* a, const NetInterface* b) { return a->index < b->index; });
    }

    // The position of the link with this index, or links.size().
    size_t Find(uint32_t index) const
    {
        auto found = std::lower_bound(
            links.begin(), links.end(), index,
            [](const NetInterface* link, uint32_t wanted) { return link->index < wanted; });
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
    for (const NetGateway* gateway : gateways) {
        size_t position = order.Find(gateway->index);
        if (position == adapters.size()) {
            continue;
        }
        std::vector<Ipv4Bytes>& known = adapters[position].gateways;
        if (std::none_of(known.begin(), known.end(), [gateway](const Ipv4Bytes& bytes) {
                return memcmp(bytes.bytes, gateway->address.bytes, sizeof(bytes.bytes)) == 0;
            })) {
            known.push_back(gateway->address);
        }
    }
}

// The lease policy's view of a kernel address: its times on the real-time
// clock.
AssignedAddress DescribeAssignedAddress(const NetAddress& address, const KernelClock& clock)
{
    AssignedAddress assigned;
    assigned.address = address.address;
    assigned.finite = address.finite;
    AddressTimes times = DeriveAddressTimes(address.updated, address.validSeconds, clock);
    assigned.updated = times.updated;
    assigned.expires = times.expires;
    assigned.created = DeriveAddressTimes(address.created, 0, clock).updated;
    return assigned;
}

}  // namespace

int GatherAdapterFacts(const NetSnapshot& snapshot,
                       const std::unordered_map<uint32_t, LeaseCandidates>& leases,
                       const KernelClock& clock, const char* sysNetRoot,
                       std::vector<AdapterFacts>* adapters)
{
    LinkOrder order(snapshot);
    std::vector<std::vector<const NetAddress*>> grouped = GroupAddresses(snapshot, order);
    adapters->assign(order.links.size(), AdapterFacts());
    AddGateways(snapshot, order, *adapters);
    std::vector<AssignedAddress> described;
    HardwareNames names;
    for (size_t i = 0; i < adapters->size(); ++i) {
        const NetInterface& link = *order.links[i];
        AdapterFacts& facts = (*adapters)[i];
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
        if (int error = DescribeLink(link, sysNetRoot, names, facts); error != 0) {
            return error;
        }
        auto candidates = leases.empty() ? leases.end() : leases.find(link.index);
        ApplyLeasePolicy(described.data(), assignedCount,
                         candidates == leases.end() ? nullptr : &candidates->second,
                         clock.realSeconds, facts);
    }
    return 0;
}

std::vector<LeaseInterface> ListLeaseInterfaces(const NetSnapshot& snapshot)
{
    std::vector<LeaseInterface> interfaces;
    interfaces.reserve(snapshot.links.size());
    for (const NetInterface& link : snapshot.links) {
        std::string hardware;
        for (size_t i = 0; i < link.addressLength && i < sizeof(link.address); i++) {
            hardware += "0123456789abcdef"[link.address[i] >> 4];
            hardware += "0123456789abcdef"[link.address[i] & 15];
        }
        interfaces.push_back(LeaseInterface{link.name, link.index, std::move(hardware)});
    }
    return interfaces;
}
