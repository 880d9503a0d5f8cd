// The kernel's address timestamps read against the clocks.
#include "kernel_time.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <ctime>
#include <initializer_list>
#include <tuple>

#include "posix.h"

// /proc/self/timens_offsets as kernels write it (seconds carry the sign,
// nanoseconds add to them). Every reading of one address gives one time (a
// second's floor, also before 1970) and the expiry its lifetime later.
// times() gives the tick count at 10 to 10000 ticks a second, CLOCK_MONOTONIC
// a minute past it to a second short.
TEST(KernelTime, OffsetReadingsAndTicks)
{
    const std::tuple<const char*, int, int64_t> cases[] = {
        {"monotonic       86400         0\nboottime            0         0\n", 0, 8640000},
        {"boottime 5 0 \nmonotonic -2 500000000  \n", 0, -150},
        {"1 3 20000000\n7 0 0\n", 0, 302},
        {"monotonic 0 999999999\n", 0, 99},
        {"monotonic\n", EBADMSG, 0},
        {"monotonic 1 0 0\n", EBADMSG, 0},
        {"monotonic x 0\n", EBADMSG, 0},
        {"monotonic 1 1000000000\n", EBADMSG, 0},
        {"boottime 5 0\n", ENOENT, 0},
    };
    for (const auto& [text, error, hundredths] : cases) {
        int64_t offset = 0;
        EXPECT_EQ(ParseMonotonicOffset(text, &offset), error) << text;
        EXPECT_EQ(offset, hundredths) << text;
    }
    for (int64_t set : std::initializer_list<int64_t>{170000000000, 170000000001, 170000000050,
                                                      170000000099, -101, -100, -99}) {
        for (uint32_t age : {0u, 1u, 99u, 100u, 101u, 5999u, 59999u}) {
            auto real = static_cast<int64_t>(std::floor((set + age) / 100.0));
            KernelClock clock{real, uint32_t(set + age - real * 100), 0xFFFFFFF0ull + age};
            AddressTimes times = DeriveAddressTimes(0xFFFFFFF0u, 600 - age / 100, clock);
            EXPECT_EQ(times.updated, std::floor(set / 100.0)) << set << " " << age;
            EXPECT_EQ(times.expires, std::floor(set / 100.0) + 600) << set << " " << age;
        }
    }
    const struct {
        uint64_t hz;
        int64_t behind;  // the tick count behind CLOCK_MONOTONIC, in hundredths
        bool kept;
    } kRows[] = {{9, 31, false},    {10, 31, true},     {100, 31, true},   {250, 31, true},
                 {300, 31, true},   {1000, 31, true},   {10000, 31, true}, {10001, 31, false},
                 {100, 6000, true}, {100, 6001, false}, {100, -100, true}, {100, -101, false}};
    // A 32-bit clock_t holds the count's low half, negative from 50 days
    // up at 250 Hz, from boot at 100 Hz: the count is the same there.
    for (uint64_t since : {100000000ull, 500000000ull, 10000000000ull}) {
        for (const auto& row : kRows) {
            uint64_t monotonic = since + row.behind;
            uint64_t jiffies = (uint64_t{1} << 32) - 300 * row.hz + since * row.hz / 100;
            auto count = static_cast<int64_t>(jiffies * 100 / row.hz);
            EXPECT_EQ(KernelHundredths(count, 64, monotonic), row.kept ? since : monotonic)
                << row.hz << " " << row.behind;
            if (row.kept) {
                EXPECT_EQ(KernelHundredths(int32_t(count), 32, monotonic), since) << row.hz;
            }
        }
    }
    EXPECT_EQ(KernelHundredths((int64_t{1} << 32) - 30000, 64, 31), 0u);  // at boot
    EXPECT_EQ(KernelHundredths(-30000, 32, 31), 0u);
    EXPECT_EQ(KernelHundredths(0, 64, 30000), 30000u);  // no tick rate: the wrap at boot
    int64_t real = ReadClock(CLOCK_REALTIME, 100), monotonic = ReadClock(CLOCK_MONOTONIC, 100);
    KernelClock clock;
    ASSERT_EQ(0, ReadKernelClock(&clock));
    EXPECT_LE(real, clock.realSeconds * 100 + clock.realHundredths);
    EXPECT_GE(ReadClock(CLOCK_REALTIME, 100), clock.realSeconds * 100 + clock.realHundredths);
    EXPECT_NEAR(monotonic, clock.monotonicHundredths, 6000);
    // Out of descriptors, a namespace's offset cannot be read: no clock.
    EXPECT_EXIT(
        {
            rlimit none = {};
            _exit(setrlimit(RLIMIT_NOFILE, &none) == 0 && ReadKernelClock(&clock) == EMFILE ? 0
                                                                                            : 1);
        },
        testing::ExitedWithCode(0), "");
}
