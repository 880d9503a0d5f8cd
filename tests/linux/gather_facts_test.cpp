// Gathering adapter facts from a kernel snapshot and the lease stores.
#include "gather_facts.h"

#include <gtest/gtest.h>
#include <linux/if_addr.h>
#include <linux/if_arp.h>
#include <sys/resource.h>

#include <cmath>
#include <ctime>
#include <string>
#include <vector>

#include "lease_support.h"
#include "netlink_support.h"

namespace {

NetAddress Address(uint32_t index, uint8_t last, uint8_t prefix, uint32_t flags,
                   uint32_t validSeconds = 0, uint32_t updated = 0)
{
    return NetAddress{index,        {10, 0, 0, last}, prefix, flags, validSeconds != 0,
                      validSeconds, updated};
}

const int64_t kNow = 1700000000;

// Out of index order: eth1 (index 3) with a secondary of finite lifetime
// before its primary and three gateways (one reached by two default routes,
// two of one priority), lo (index 1) with nothing, eth9 dumped as index 3 too.
std::vector<AdapterFacts> Sample(const std::unordered_map<uint32_t, LeaseCandidates>& leases = {})
{
    NetSnapshot snapshot;
    snapshot.links = {MakeLink(3, ARPHRD_ETHER, "eth1", "veth"), MakeLink(1, ARPHRD_LOOPBACK, "lo"),
                      MakeLink(3, ARPHRD_ETHER, "eth9", "veth")};
    snapshot.links[0].addressLength = 6;
    snapshot.links[0].address[5] = 0x42;
    snapshot.addresses = {Address(3, 9, 24, IFA_F_SECONDARY, 3600, 100000), Address(3, 2, 20, 0),
                          Address(77, 2, 8, 0)};  // no such link
    NetGateway slow = {3, {10, 0, 0, 254}, 200};
    NetGateway fast = {3, {10, 0, 0, 1}, 100};
    NetGateway fastAgain = {3, {10, 0, 0, 1}, 150};
    NetGateway stranger = {77, {10, 0, 0, 7}, 1};
    snapshot.gateways = {slow, fast, fastAgain, stranger, {3, {10, 0, 0, 253}, 200}};
    KernelClock clock{kNow, 0, 100 * 1060};  // 60 s after the address's update
    std::vector<AdapterFacts> adapters;
    EXPECT_EQ(0, GatherAdapterFacts(snapshot, leases, clock, "/nonexistent", &adapters));
    return adapters;
}

std::vector<std::string> Texts(const std::vector<AdapterAddress>& addresses)
{
    std::vector<std::string> texts;
    for (const AdapterAddress& a : addresses) {
        texts.push_back(std::to_string(a.address.bytes[3]) + "/" + std::to_string(a.prefixLength));
    }
    return texts;
}

std::vector<int> LastBytes(const std::vector<Ipv4Bytes>& addresses)
{
    std::vector<int> bytes;
    for (const Ipv4Bytes& a : addresses) {
        bytes.push_back(a.bytes[3]);
    }
    return bytes;
}

// A lease for 10.0.0.last (none when last is 0) from 192.0.2.server.
LeaseFacts Lease(uint8_t last, uint8_t server)
{
    LeaseFacts lease;
    lease.haveAddress = last != 0;
    lease.address = Ipv4Bytes{{10, 0, 0, last}};
    lease.haveServer = true;
    lease.server = Ipv4Bytes{{192, 0, 2, server}};
    return lease;
}

}  // namespace

TEST(GatherAdapterFacts, IndexOrderPrimariesFirstGatewaysOnceKernelLease)
{
    std::vector<AdapterFacts> adapters = Sample();
    ASSERT_EQ(3u, adapters.size());  // eth9 after eth1, which holds index 3's facts
    const AdapterFacts& lo = adapters[0];
    EXPECT_EQ("lo", lo.name);
    EXPECT_EQ(1u, lo.index);
    EXPECT_TRUE(lo.addresses.empty());
    EXPECT_TRUE(lo.gateways.empty());
    EXPECT_FALSE(lo.dhcpEnabled);
    EXPECT_EQ(0, lo.leaseExpires);

    const AdapterFacts& eth = adapters[1];
    EXPECT_EQ("eth1", eth.name);
    EXPECT_EQ("veth", eth.description);
    EXPECT_EQ(6u, eth.hardwareLength);
    EXPECT_EQ(0x42, eth.hardware[5]);
    EXPECT_EQ(Texts(eth.addresses), (std::vector<std::string>{"2/20", "9/24"}));
    EXPECT_EQ(LastBytes(eth.gateways), (std::vector<int>{1, 254, 253}));  // ties in dump order
    EXPECT_TRUE(eth.dhcpEnabled);
    EXPECT_FALSE(eth.haveDhcpServer);
    EXPECT_EQ(kNow - 60, eth.leaseObtained);
    EXPECT_EQ(kNow + 3600, eth.leaseExpires);

    // Out of descriptors for a device's /sys entry, the gathering fails.
    NetSnapshot device;
    device.links = {MakeLink(2, ARPHRD_ETHER, "eth0")};
    rlimit before;
    getrlimit(RLIMIT_NOFILE, &before);
    rlimit none = {0, before.rlim_max};
    setrlimit(RLIMIT_NOFILE, &none);
    int starved = GatherAdapterFacts(device, {}, KernelClock{}, "/sys/class/net", &adapters);
    setrlimit(RLIMIT_NOFILE, &before);
    EXPECT_EQ(EMFILE, starved);
}

// Of the interface's candidates (another namespace's lease for the same
// index, one naming no address, its own) its own applies, the store's
// facts over the kernel's; lo holds no address for its lease.
TEST(GatherAdapterFacts, OwnLeaseFactsWinOverTheKernel)
{
    LeaseFacts stranger = Lease(3, 66);
    stranger.end = LeaseEnd::kAt;
    stranger.expires = 1800000000;
    LeaseFacts own = Lease(9, 53);  // the address counting down
    own.wins = {Ip("192.0.2.1"), Ip("192.0.2.2"), Ip("192.0.2.3")};
    own.obtainedKnown = true;
    own.end = LeaseEnd::kAt;
    own.obtained = kNow - 1061;  // a second before the kernel last set the address
    own.expires = 5000000000LL;
    std::vector<AdapterFacts> chosen =
        Sample({{3, {stranger, Lease(0, 77), own}}, {1, {Lease(1, 88)}}});
    EXPECT_TRUE(chosen[1].haveDhcpServer);
    EXPECT_EQ(53, chosen[1].dhcpServer.bytes[3]);
    EXPECT_EQ(LastBytes(chosen[1].wins), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(kNow - 1061, chosen[1].leaseObtained);
    EXPECT_EQ(5000000000LL, chosen[1].leaseExpires);
    EXPECT_FALSE(chosen[0].dhcpEnabled);

    // With no lease of its own the interface keeps the kernel's facts.
    const AdapterFacts alone = Sample({{3, {stranger}}})[1];
    EXPECT_TRUE(alone.dhcpEnabled);
    EXPECT_FALSE(alone.haveDhcpServer);
    EXPECT_EQ(kNow + 3600, alone.leaseExpires);
}

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
