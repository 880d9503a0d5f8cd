// The kernel's address timestamps on the real-time clock.
#pragma once

#include <cstdint>

// The two clocks the kernel's address timestamps are read against.
struct KernelClock {
    int64_t realSeconds = 0;           // CLOCK_REALTIME
    uint32_t realHundredths = 0;       // and hundredths of a second past realSeconds
    uint64_t monotonicHundredths = 0;  // the kernel's tick count since boot, in tstamp units
};

// The kernel's tick count since boot in hundredths, tstamp's clock, from
// what times(2) returns (ticks since 300 s before the counter's 32-bit wrap,
// in hundredths); monotonic is CLOCK_MONOTONIC in hundredths, which the
// tick count trails by up to a second, and what is kept when the two
// cannot be told to agree.
uint64_t KernelHundredths(int64_t timesValue, uint64_t monotonic);

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
