#include "kernel_time.h"

AddressTimes DeriveAddressTimes(uint32_t tstamp, uint32_t validSeconds, const KernelClock& clock)
{
    // tstamp wraps at 2^32 hundredths; the modular difference survives that.
    uint32_t age = static_cast<uint32_t>(clock.monotonicHundredths) - tstamp;
    // Rounding the moment it was set and the moment it ends each on its own
    // would let their difference wobble by a second with the clocks' phase.
    // The kernel counts the lifetime down by whole seconds of age, so what
    // it was given is what is left plus those; the end is the moment it was
    // set plus that.
    int64_t set = clock.realSeconds * 100 + clock.realHundredths - age;
    AddressTimes times;
    times.updated = set / 100 - (set % 100 < 0 ? 1 : 0);
    times.expires = times.updated + validSeconds + age / 100;
    return times;
}
