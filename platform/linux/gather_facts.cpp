#include "gather_facts.h"

#include <linux/if_addr.h>

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "link_description.h"

namespace {

// Adapters in interface-index order, with the position of each index.
std::vector<const NetLink*> SortLinks(const NetSnapshot& snapshot,
                                      std::unordered_map<uint32_t, size_t>& positions)
{
    std::vector<const NetLink*> links;
    links.reserve(snapshot.links.size());
    for (const NetLink& link : snapshot.links) {
        links.push_back(&link);
    }
    std::sort(links.begin(), links.end(),
              [](const NetLink* a, const NetLink* b) { return a->index < b->index; });
    positions.reserve(links.size());
    for (size_t i = 0; i < links.size(); ++i) {
        positions.emplace(links[i]->index, i);
    }
    return links;
}

void AddAddresses(const NetSnapshot& snapshot,
                  const std::unordered_map<uint32_t, size_t>& positions,
                  std::vector<AdapterFacts>& adapters,
                  std::vector<std::vector<const NetAddress*>>& held)
{
    for (bool primary : {true, false}) {
        for (const NetAddress& address : snapshot.addresses) {
            auto found = positions.find(address.index);
            if (found == positions.end() || ((address.flags & IFA_F_SECONDARY) == 0) != primary) {
                continue;
            }
            AdapterAddress own;
            memcpy(own.address.bytes, address.address, sizeof(own.address.bytes));
            own.prefixLength = address.prefixLength;
            adapters[found->second].addresses.push_back(own);
            held[found->second].push_back(&address);
        }
    }
}

// A gateway reached by several default routes (other metrics, a next hop
// named twice) is still one gateway of the adapter.
void AddGateways(const NetSnapshot& snapshot, const std::unordered_map<uint32_t, size_t>& positions,
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
        auto found = positions.find(gateway->index);
        uint32_t address;
        memcpy(&address, gateway->address, sizeof(address));
        if (found == positions.end() ||
            !seen.insert(uint64_t{gateway->index} << 32 | address).second) {
            continue;
        }
        Ipv4Bytes bytes;
        memcpy(bytes.bytes, gateway->address, sizeof(bytes.bytes));
        adapters[found->second].gateways.push_back(bytes);
    }
}

}  // namespace

std::vector<AdapterFacts> GatherAdapterFacts(
    const NetSnapshot& snapshot, const std::unordered_map<uint32_t, LeaseCandidates>& leases,
    const KernelClock& clock, const char* sysNetRoot)
{
    std::unordered_map<uint32_t, size_t> positions;
    std::vector<const NetLink*> links = SortLinks(snapshot, positions);
    std::vector<AdapterFacts> adapters(links.size());
    std::vector<std::vector<const NetAddress*>> held(links.size());
    AddAddresses(snapshot, positions, adapters, held);
    AddGateways(snapshot, positions, adapters);
    for (size_t i = 0; i < links.size(); ++i) {
        const NetLink& link = *links[i];
        AdapterFacts& facts = adapters[i];
        facts.name.assign(link.name, strnlen(link.name, sizeof(link.name)));
        facts.hardwareLength = link.addressLength;
        memcpy(facts.hardware, link.address, sizeof(facts.hardware));
        facts.index = link.index;
        DescribeLink(snapshot, link, sysNetRoot, facts);
        auto candidates = leases.find(link.index);
        ApplyLeasePolicy(held[i], candidates == leases.end() ? nullptr : &candidates->second, clock,
                         facts);
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
