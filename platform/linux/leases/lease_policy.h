// Which DHCP lease an adapter shows: a live lease of its own from a lease
// store, or else what the kernel's address lifetimes say.
#pragma once

#include <cstddef>
#include <cstdint>

#include "adapter_facts.h"
#include "leases.h"

// One address assigned to the interface, with what the kernel says about it in
// seconds since 1970-01-01 UTC.
struct AssignedAddress {
    Ipv4Bytes address;
    bool finite = false;  // the kernel drops the address when its valid lifetime runs out
    int64_t updated = 0;  // when it was last set or renewed
    int64_t expires = 0;  // when finite
    int64_t created = 0;  // when it was added
};

// LeaseExpires of a lease that never ends, whichever client holds it.
constexpr int64_t kLeaseNeverEnds = INT32_MAX;

// The lease an interface's record shows: the first candidate that names an
// address among the interface's assignedCount assigned addresses and is live there
// at now. Live: it ends after now or never, or its store does not say and
// the kernel still counts the address down, or it lasts while its address
// does; and unless the kernel counts the address down, the address was last
// set no more than a few seconds after the store last wrote the lease (or,
// where that is not known, after the lease was obtained), or by a renewal
// the store could not show yet. *obtained is the store's where it records
// one, otherwise the address's last update; *expires is the store's,
// kLeaseNeverEnds for an infinite lease, otherwise the kernel's, 0 where
// neither knows. Where the kernel renewed the address well after the store
// last wrote the lease, while it ran, both are the kernel's.
// A lease the store says was obtained after now or before 1993 is damaged
// and passed over. nullptr when none is live.
const LeaseFacts* ChooseLiveLease(const LeaseCandidates& candidates,
                                  const AssignedAddress* assigned, size_t assignedCount,
                                  int64_t now, int64_t* obtained, int64_t* expires);

// Fills the DHCP facts of an adapter (DHCP flag, server, WINS servers,
// lease times) from its live lease (ChooseLiveLease), or else from the
// first of its addresses with a finite lifetime, which a DHCP client set.
// assigned are the adapter's assignedCount addresses, primary first; candidates may
// be null.
void ApplyLeasePolicy(const AssignedAddress* assigned, size_t assignedCount,
                      const LeaseCandidates* candidates, int64_t now, AdapterFacts& facts);
