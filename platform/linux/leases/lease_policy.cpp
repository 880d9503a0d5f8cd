#include "lease_policy.h"

#include <cstring>

namespace {

// How long after a client records its lease it may take to set the
// address; anything that sets it later is not the client.
constexpr int64_t kClientSetsAddressWithin = 5;

// dhclient writes a renewal to its file only when it last wrote this long
// ago, and never again once the lease is infinite.
constexpr int64_t kDhclientWritesEvery = 15;

// 1993-01-01 UTC, the year DHCP was first standardized.
constexpr int64_t kFirstDhcpYear = 725846400;

const AssignedAddress* FindAssigned(const AssignedAddress* assigned, size_t assignedCount,
                                    const Ipv4Bytes& address)
{
    for (size_t i = 0; i < assignedCount; ++i) {
        if (memcmp(assigned[i].address.bytes, address.bytes, sizeof address.bytes) == 0) {
            return &assigned[i];
        }
    }
    return nullptr;
}

// A permanent address set after its store last wrote the lease, by a
// renewal the file could not show: one that made the lease infinite within
// dhclient's write interval. The address is the one the client added when
// it wrote the lease, changed when the lease was due to renew (the
// kernel's second may trail the client's by part of one); the lease names
// the server a renewal asks, and must still run. An address added by hand,
// or changed at any other moment, is still told.
bool RenewedUnwritten(const LeaseFacts& lease, const AssignedAddress& own)
{
    return lease.renews && lease.haveServer && lease.end == LeaseEnd::kAt && lease.written > 0 &&
           own.created <= lease.written + kClientSetsAddressWithin &&
           own.updated + 1 >= *lease.renews && own.updated <= lease.written + kDhclientWritesEvery;
}

}  // namespace

const LeaseFacts* ChooseLiveLease(const LeaseCandidates& candidates,
                                  const AssignedAddress* assigned, size_t assignedCount,
                                  int64_t now, int64_t* obtained, int64_t* expires)
{
    for (const LeaseFacts& lease : candidates) {
        // Obtained in the future, or for longer than its end allows: the
        // store is damaged, or its clock was never set.
        if (lease.obtainedKnown && (lease.obtained > now || lease.obtained < kFirstDhcpYear)) {
            continue;
        }
        // A lease that names no address cannot be told apart from another
        // namespace's lease for an interface of the same name or index.
        const AssignedAddress* own =
            lease.haveAddress ? FindAssigned(assigned, assignedCount, lease.address) : nullptr;
        if (own == nullptr) {
            continue;
        }
        // Clients give the kernel the lifetime of a lease that ends and
        // renew it as the lease renews, and write their store whenever they
        // set the address; an address the kernel keeps forever that was set
        // well after the store last wrote the lease was set again by hand,
        // or by another tool, over the lease's address.
        int64_t recorded = lease.written > 0 ? lease.written : lease.obtained;
        bool setSince = (lease.written > 0 || lease.obtainedKnown) &&
                        own->updated > recorded + kClientSetsAddressWithin;
        if (!own->finite && setSince && !RenewedUnwritten(lease, *own)) {
            continue;
        }
        // A lease the kernel renewed after its store last wrote it (dhclient
        // writes at most every kDhclientWritesEvery seconds) is timed by
        // the kernel, which has the renewal; the store's times are older.
        if (own->finite && lease.written > 0 && setSince &&
            (lease.end != LeaseEnd::kAt || own->updated < lease.expires)) {
            *obtained = own->updated;
            *expires = own->expires;
            return &lease;
        }
        if (lease.end == LeaseEnd::kAt) {
            if (lease.expires <= now) {
                continue;
            }
            *expires = lease.expires;
        } else if (lease.end == LeaseEnd::kNever) {
            *expires = kLeaseNeverEnds;
        } else if (own->finite) {
            *expires = own->expires;
        } else if (lease.end == LeaseEnd::kWithAddress) {
            *expires = 0;  // neither the client nor the kernel knows when it ends
        } else {
            // The client keeps no end and the kernel keeps the address
            // forever: it was set by hand or by another tool since.
            continue;
        }
        *obtained = lease.obtainedKnown ? lease.obtained : own->updated;
        return &lease;
    }
    return nullptr;
}

void ApplyLeasePolicy(const AssignedAddress* assigned, size_t assignedCount,
                      const LeaseCandidates* candidates, int64_t now, AdapterFacts& facts)
{
    // A lease file outlives its client and, keyed by interface index or
    // name, is also seen from network namespaces whose interfaces share
    // that index or name; only a live lease for an address the interface
    // holds is its own.
    int64_t obtained = 0;
    int64_t expires = 0;
    const LeaseFacts* lease =
        candidates == nullptr
            ? nullptr
            : ChooseLiveLease(*candidates, assigned, assignedCount, now, &obtained, &expires);
    if (lease != nullptr) {
        facts.dhcpEnabled = true;
        facts.haveDhcpServer = lease->haveServer;
        if (lease->haveServer) {
            facts.dhcpServer = lease->server;
        }
        facts.wins = lease->wins;
        facts.leaseObtained = obtained;
        facts.leaseExpires = expires;
        return;
    }
    // An address the kernel will drop after a while was handed out by a
    // DHCP client; its lifetime and last update are the lease.
    for (size_t i = 0; i < assignedCount; ++i) {
        if (assigned[i].finite) {
            facts.dhcpEnabled = true;
            facts.leaseObtained = assigned[i].updated;
            facts.leaseExpires = assigned[i].expires;
            return;
        }
    }
}
