// Next-hop resolution: a route that names a next-hop object gets the
// object's hops, a group's in member order.
#include <unordered_map>

#include "messages.h"

bool NeedsNexthops(const NetSnapshot& snapshot)
{
    for (const NetGateway& gateway : snapshot.gateways) {
        if (gateway.nexthopId != 0) {
            return true;
        }
    }
    return false;
}

void ResolveNexthops(NetSnapshot& snapshot)
{
    if (!NeedsNexthops(snapshot)) {
        return;
    }
    std::unordered_map<uint32_t, const NetNexthop*> byId;
    for (const NetNexthop& nexthop : snapshot.nexthops) {
        byId.emplace(nexthop.id, &nexthop);  // the first of a repeated id
    }
    auto find = [&](uint32_t id) -> const NetNexthop* {
        auto found = byId.find(id);
        return found == byId.end() ? nullptr : found->second;
    };
    std::vector<NetGateway> resolved;
    resolved.reserve(snapshot.gateways.size());
    auto addHop = [&](const NetNexthop* hop, uint32_t priority) {
        // Groups hold single hops only; a member that is a group itself
        // is a fault and gives nothing.
        if (hop != nullptr && hop->memberCount == 0 && hop->usable && hop->index != 0) {
            NetGateway gateway;
            gateway.index = hop->index;
            gateway.address = hop->address;
            gateway.priority = priority;
            resolved.push_back(gateway);
        }
    };
    for (const NetGateway& gateway : snapshot.gateways) {
        if (gateway.nexthopId == 0) {
            resolved.push_back(gateway);
            continue;
        }
        const NetNexthop* nexthop = find(gateway.nexthopId);
        if (nexthop == nullptr || nexthop->memberCount == 0) {
            addHop(nexthop, gateway.priority);
            continue;
        }
        for (uint32_t m = 0; m < nexthop->memberCount; ++m) {
            size_t at = size_t{nexthop->firstMember} + m;
            if (at < snapshot.nexthopMembers.size()) {
                addHop(find(snapshot.nexthopMembers[at]), gateway.priority);
            }
        }
    }
    snapshot.gateways.swap(resolved);
}
