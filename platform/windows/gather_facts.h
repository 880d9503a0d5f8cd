// Gathers the facts of each adapter from the system's adapter list
// (GetAdaptersAddresses, IPv4). Kept apart from the system calls so tests
// can feed it lists.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "adapter_facts.h"
#include "os_api.h"

// What the lease times are computed from.
struct LeaseClock {
    int64_t now;  // seconds since 1970-01-01 UTC
    // The lease start Windows records for the adapter named (its GUID text),
    // or 0 when there is none.
    std::function<int64_t(const char* adapterName)> leaseObtained;
};

// The adapters of the list, in list order, but for the software loopback
// interface.
std::vector<AdapterFacts> GatherAdapterFacts(const IP_ADAPTER_ADDRESSES_LH* first,
                                             const LeaseClock& clock);
