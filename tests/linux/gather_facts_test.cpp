// Gathering adapter facts from a kernel snapshot and the lease stores.
#include "gather_facts.h"

#include <gtest/gtest.h>
#include <linux/if_addr.h>
#include <linux/if_arp.h>

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

// Two interfaces given out of index order: eth1 (index 3) with a secondary
// of finite lifetime listed before its primary, and two gateways (the first
// reached by two default routes), and lo (index 1) with nothing.
std::vector<AdapterFacts> Sample(const std::unordered_map<uint32_t, LeaseCandidates>& leases = {})
{
    NetSnapshot snapshot;
    snapshot.links = {MakeLink(3, ARPHRD_ETHER, "eth1", "veth"),
                      MakeLink(1, ARPHRD_LOOPBACK, "lo")};
    snapshot.links[0].addressLength = 6;
    snapshot.links[0].address[5] = 0x42;
    snapshot.addresses = {Address(3, 9, 24, IFA_F_SECONDARY, 3600, 100000), Address(3, 2, 20, 0),
                          Address(77, 2, 8, 0)};  // no such link
    NetGateway slow = {3, {10, 0, 0, 254}, 200};
    NetGateway fast = {3, {10, 0, 0, 1}, 100};
    NetGateway fastAgain = {3, {10, 0, 0, 1}, 150};
    NetGateway stranger = {77, {10, 0, 0, 7}, 1};
    snapshot.gateways = {slow, fast, fastAgain, stranger};
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
    ASSERT_EQ(2u, adapters.size());
    const AdapterFacts& lo = adapters[0];
    EXPECT_EQ("lo", lo.name);
    EXPECT_EQ(1u, lo.index);
    EXPECT_EQ("loopback", lo.description);
    EXPECT_EQ(24u, lo.type);
    EXPECT_TRUE(lo.addresses.empty());
    EXPECT_TRUE(lo.gateways.empty());
    EXPECT_FALSE(lo.dhcpEnabled);
    EXPECT_EQ(0, lo.leaseExpires);

    const AdapterFacts& eth = adapters[1];
    EXPECT_EQ("eth1", eth.name);
    EXPECT_EQ("veth", eth.description);
    EXPECT_EQ(6u, eth.type);
    EXPECT_EQ(6u, eth.hardwareLength);
    EXPECT_EQ(0x42, eth.hardware[5]);
    EXPECT_EQ(Texts(eth.addresses), (std::vector<std::string>{"2/20", "9/24"}));
    EXPECT_EQ(LastBytes(eth.gateways), (std::vector<int>{1, 254}));
    EXPECT_TRUE(eth.dhcpEnabled);
    EXPECT_FALSE(eth.haveDhcpServer);
    EXPECT_EQ(kNow - 60, eth.leaseObtained);
    EXPECT_EQ(kNow + 3600, eth.leaseExpires);
}

TEST(GatherAdapterFacts, LeaseFactsWinOverTheKernel)
{
    LeaseFacts lease = Lease(9, 53);  // the address counting down
    lease.wins = {Ip("192.0.2.1"), Ip("192.0.2.2"), Ip("192.0.2.3")};
    lease.obtainedKnown = true;
    lease.end = LeaseEnd::kAt;
    lease.obtained = kNow - 1061;  // a second before the kernel last set the address
    lease.expires = 5000000000LL;
    const AdapterFacts eth = Sample({{3, {lease}}})[1];
    EXPECT_TRUE(eth.dhcpEnabled);
    EXPECT_TRUE(eth.haveDhcpServer);
    EXPECT_EQ(53, eth.dhcpServer.bytes[3]);
    EXPECT_EQ(LastBytes(eth.wins), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(kNow - 1061, eth.leaseObtained);
    EXPECT_EQ(5000000000LL, eth.leaseExpires);
}

TEST(GatherAdapterFacts, OnlyALeaseForAnAddressOfTheInterfaceApplies)
{
    // Another namespace's lease for the same index, one naming no address,
    // then the interface's own, whose times come from its kernel address.
    LeaseFacts stranger = Lease(3, 66);
    stranger.end = LeaseEnd::kAt;
    stranger.expires = 1800000000;
    LeaseFacts unnamed = Lease(0, 77);
    std::vector<AdapterFacts> chosen =
        Sample({{3, {stranger, unnamed, Lease(9, 53)}}, {1, {Lease(1, 88)}}});
    EXPECT_EQ(53, chosen[1].dhcpServer.bytes[3]);
    EXPECT_EQ(kNow - 60, chosen[1].leaseObtained);
    EXPECT_EQ(kNow + 3600, chosen[1].leaseExpires);
    EXPECT_FALSE(chosen[0].dhcpEnabled);  // lo holds no address at all
    EXPECT_FALSE(chosen[0].haveDhcpServer);

    // With no lease of its own the interface keeps the kernel's facts.
    const AdapterFacts alone = Sample({{3, {stranger, unnamed}}})[1];
    EXPECT_TRUE(alone.dhcpEnabled);
    EXPECT_FALSE(alone.haveDhcpServer);
    EXPECT_EQ(kNow + 3600, alone.leaseExpires);
}

// /proc/self/timens_offsets as kernels write it; seconds carry the sign of
// a timespec, nanoseconds add to them.
TEST(GatherAdapterFacts, TimeNamespaceOffset)
{
    const std::tuple<const char*, int, int64_t> cases[] = {
        {"monotonic       86400         0\nboottime            0         0\n", 0, 8640000},
        {"boottime 5 0\nmonotonic -2 500000000\n", 0, -150},
        {"1 3 20000000\n7 0 0\n", 0, 302},
        {"monotonic 86400\n", EBADMSG, 0},
        {"monotonic x 0\n", EBADMSG, 0},
        {"monotonic 1 1000000000\n", EBADMSG, 0},
        {"boottime 5 0\n", ENOENT, 0},
    };
    for (const auto& [text, error, hundredths] : cases) {
        int64_t offset = 0;
        EXPECT_EQ(ParseMonotonicOffset(text, &offset), error) << text;
        EXPECT_EQ(offset, hundredths) << text;
    }
}

// Every reading of one address gives one time and the expiry 600 s (its
// lifetime) later; times() gives the tick count whatever the tick rate.
TEST(KernelTime, ReadingsAgreeAndTicksComeFromTimes)
{
    for (int64_t set : {170000000000, 170000000001, 170000000050, 170000000099}) {
        for (uint32_t age : {0u, 1u, 99u, 100u, 101u, 5999u, 59999u}) {
            KernelClock clock{(set + age) / 100, uint32_t((set + age) % 100), 0xFFFFFFF0ull + age};
            AddressTimes times = DeriveAddressTimes(0xFFFFFFF0u, 600 - age / 100, clock);
            EXPECT_EQ(times.updated, set / 100) << set << " " << age;
            EXPECT_EQ(times.expires, set / 100 + 600) << set << " " << age;
        }
    }
    EXPECT_NEAR(ReadKernelClock().realSeconds, time(nullptr), 1);
    for (uint64_t hz : {100u, 250u, 300u, 1000u}) {
        uint64_t ticks = 999999999, since = ticks * 100 / hz;
        auto value = static_cast<int64_t>(((uint64_t{1} << 32) - 300 * hz + ticks) * 100 / hz);
        EXPECT_NEAR(KernelHundredths(value, since + 31), since, 1) << hz;
        EXPECT_EQ(KernelHundredths(value + 500, since), since)
            << "ticks ahead: no tick rate agrees";
    }
}
