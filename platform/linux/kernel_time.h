// The kernel's address timestamps on the real-time clock.
#pragma once

#include <cstdint>
#include <string_view>

// The two clocks the kernel's address timestamps are read against.
struct KernelClock {
    int64_t realSeconds = 0;           // CLOCK_REALTIME
    uint32_t realHundredths = 0;       // and hundredths of a second past realSeconds
    uint64_t monotonicHundredths = 0;  // the kernel's tick count since boot, in tstamp units
};

// The kernel's tick count since boot in hundredths, tstamp's clock, from
// what times(2) returns (ticks since 300 s before the counter's 32-bit wrap,
// in hundredths) in a clock_t of timesBits bits, which keeps only the low
// bits of the count where it is 32 bits wide; monotonic is CLOCK_MONOTONIC
// in hundredths, which the tick count trails by up to a second, and what
// is kept when the two cannot be told to agree.
uint64_t KernelHundredths(int64_t timesValue, unsigned timesBits, uint64_t monotonic);

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

// The clocks now. In a time namespace CLOCK_MONOTONIC runs ahead of the
// host's by the namespace's offset (/proc/self/timens_offsets), while the
// kernel's address timestamps count from the host's boot: the offset is
// taken off. The kernel's own tick count, which dates its addresses,
// comes from times(2) (KernelHundredths). 0, or the errno value of a read
// of the offset that loses facts (LosesFacts); any other failure to read it
// (no time namespaces) is no offset.
int ReadKernelClock(KernelClock* clock);

// The CLOCK_MONOTONIC offset of a time namespace in hundredths of a
// second, from the text of /proc/self/timens_offsets, into *hundredths.
// 0, ENOENT when the text names none, or EBADMSG when its line is malformed.
int ParseMonotonicOffset(std::string_view text, int64_t* hundredths);
