// Gathering adapter facts from a kernel snapshot and the lease stores.
#include "gather_facts.h"

#include <gtest/gtest.h>
#include <linux/if_addr.h>
#include <linux/if_arp.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "lease_support.h"
#include "make_link.h"

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
