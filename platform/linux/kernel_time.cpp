#include "kernel_time.h"

#include <fcntl.h>
#include <sys/times.h>
#include <time.h>

#include <algorithm>

#include "posix.h"

namespace {

// The tick count in hundredths from a times() value of full width, into
// *ticks when some tick rate makes it agree with the monotonic clock.
bool AgreeingTicks(int64_t timesValue, uint64_t monotonic, uint64_t* ticks)
{
    // times() counts from 2^32 - 300 HZ ticks, in hundredths: 2^32 * 100 /
    // HZ - 30000 at boot. HZ is whichever tick rate makes that agree with
    // the monotonic clock.
    constexpr uint64_t kWrap = (uint64_t{1} << 32) * 100;
    int64_t start = timesValue + 30000 - static_cast<int64_t>(monotonic);
    if (timesValue < 0 || start <= 0) {
        return false;
    }
    uint64_t hz = (kWrap + static_cast<uint64_t>(start) / 2) / static_cast<uint64_t>(start);
    if (hz < 10 || hz > 10000) {
        return false;
    }
    int64_t count = timesValue + 30000 - static_cast<int64_t>(kWrap / hz);
    *ticks = static_cast<uint64_t>(count);
    return count >= 0 && count <= static_cast<int64_t>(monotonic) + 100 &&
           static_cast<int64_t>(monotonic) - count <= 6000;
}

}  // namespace

uint64_t KernelHundredths(int64_t timesValue, unsigned timesBits, uint64_t monotonic)
{
    uint64_t ticks = 0;
    if (timesBits >= 64) {
        return AgreeingTicks(timesValue, monotonic, &ticks) ? ticks : monotonic;
    }
    // A narrower clock_t keeps only the count's low bits: every number of
    // wraps that a tick rate of 10 or more allows is tried.
    const uint64_t wrap = uint64_t{1} << timesBits;
    const uint64_t highest = (uint64_t{1} << 32) * 10 + monotonic;
    for (uint64_t full = static_cast<uint64_t>(timesValue) & (wrap - 1); full <= highest;
         full += wrap) {
        if (AgreeingTicks(static_cast<int64_t>(full), monotonic, &ticks)) {
            return ticks;
        }
    }
    return monotonic;
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

int ParseMonotonicOffset(std::string_view text, int64_t* hundredths)
{
    // Lines of "<clock> <seconds> <nanoseconds>"; the clock is named, or
    // given by its number (1) on the kernels that first had the file.
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        std::string_view fields[3];
        size_t count = 0;
        while (!line.empty() && count <= 3) {
            size_t start = line.find_first_not_of(" \t");
            if (start == std::string_view::npos) {
                break;
            }
            line.remove_prefix(start);
            size_t stop = std::min(line.find_first_of(" \t"), line.size());
            if (count < 3) {
                fields[count] = line.substr(0, stop);
            }
            count++;
            line.remove_prefix(stop);
        }
        if (count == 0 || (fields[0] != "monotonic" && fields[0] != "1")) {
            continue;
        }
        bool negative = !fields[1].empty() && fields[1].front() == '-';
        uint64_t seconds = 0;
        uint64_t nanoseconds = 0;
        if (count != 3 ||
            ParseDecimal(fields[1].substr(negative ? 1 : 0), INT32_MAX, &seconds) != 0 ||
            ParseDecimal(fields[2], 999999999, &nanoseconds) != 0) {
            return EBADMSG;
        }
        // A timespec: whole seconds carry the sign, nanoseconds add to them.
        int64_t whole = static_cast<int64_t>(seconds) * 100;
        *hundredths = (negative ? -whole : whole) + static_cast<int64_t>(nanoseconds / 10000000);
        return 0;
    }
    return ENOENT;
}

int ReadKernelClock(KernelClock* clock)
{
    int64_t real = ReadClock(CLOCK_REALTIME, 100);
    clock->realSeconds = real / 100;
    clock->realHundredths = static_cast<uint32_t>(real % 100);
    clock->monotonicHundredths = static_cast<uint64_t>(ReadClock(CLOCK_MONOTONIC, 100));
    std::string text;
    int error = ReadWholeFile(AT_FDCWD, "/proc/self/timens_offsets", 4096, &text);
    if (LosesFacts(error)) {
        return error;
    }
    // A file that is not there, names no offset or is damaged moves nothing.
    int64_t offset = 0;
    if (error == 0 && ParseMonotonicOffset(text, &offset) == 0) {
        clock->monotonicHundredths -= static_cast<uint64_t>(offset);
    }
    // The kernel counts address lifetimes in its own ticks, which may trail
    // CLOCK_MONOTONIC by a large part of a second; times() tells them.
    tms unused;
    clock->monotonicHundredths =
        KernelHundredths(times(&unused), sizeof(clock_t) * 8, clock->monotonicHundredths);
    return 0;
}
