#include "kernel_time.h"

uint64_t KernelHundredths(int64_t timesValue, uint64_t monotonic)
{
    // times() counts from 2^32 - 300 HZ ticks, in hundredths: 2^32 * 100 /
    // HZ - 30000 at boot. HZ is whichever tick rate makes that agree with
    // the monotonic clock.
    constexpr uint64_t kWrap = (uint64_t{1} << 32) * 100;
    int64_t start = timesValue + 30000 - static_cast<int64_t>(monotonic);
    if (timesValue < 0 || start <= 0) {
        return monotonic;
    }
    uint64_t hz = (kWrap + static_cast<uint64_t>(start) / 2) / static_cast<uint64_t>(start);
    if (hz < 10 || hz > 10000) {
        return monotonic;
    }
    int64_t ticks = timesValue + 30000 - static_cast<int64_t>(kWrap / hz);
    bool agrees = ticks >= 0 && ticks <= static_cast<int64_t>(monotonic) + 100 &&
                  static_cast<int64_t>(monotonic) - ticks <= 6000;
    return agrees ? static_cast<uint64_t>(ticks) : monotonic;
}

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
