// The kernel's address timestamps on the real-time clock.
#pragma once

#include <cstdint>

// The two clocks the kernel's address timestamps are read against.
struct KernelClock {
    int64_t realSeconds = 0;           // CLOCK_REALTIME
    uint32_t realHundredths = 0;       // and hundredths of a second past realSeconds
    uint64_t monotonicHundredths = 0;  // CLOCK_MONOTONIC as the kernel counts it, in tstamp units
};

// When a kernel address was last set and when its valid lifetime runs out,
// in seconds since 1970-01-01 UTC.
struct AddressTimes {
    int64_t updated = 0;
    int64_t expires = 0;
};

// The times of an address from its tstamp and the valid lifetime left at
// the dump, read against clock taken just after it: the two differ by the
// lifetime the address was given, and every reading of one address agrees.
AddressTimes DeriveAddressTimes(uint32_t tstamp, uint32_t validSeconds, const KernelClock& clock);
