// Which DHCP lease an adapter shows: its own lease from a lease store, or
// what the kernel's address lifetimes say.
#pragma once

#include <cstdint>
#include <vector>

#include "adapter_facts.h"
#include "leases.h"
#include "netlink.h"

// The two clocks the kernel's address timestamps are read against.
struct KernelClock {
    int64_t realSeconds = 0;           // CLOCK_REALTIME
    uint64_t monotonicHundredths = 0;  // CLOCK_MONOTONIC, the kernel's tstamp unit
};

KernelClock ReadKernelClock();

// Fills the DHCP facts of an adapter (DHCP flag, server, WINS servers,
// lease times) from the first of its lease candidates that is its own, or
// else from the first of its addresses with a finite lifetime. held are the
// adapter's addresses, primary first; candidates may be null.
void ApplyLeasePolicy(const std::vector<const NetAddress*>& held, const LeaseCandidates* candidates,
                      const KernelClock& clock, AdapterFacts& facts);
