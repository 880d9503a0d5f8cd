#include "leases.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <string>

#include "held_address.h"

namespace {

using Leases = std::unordered_map<uint32_t, LeaseCandidates>;

Leases ReadTree(const std::string& root, const std::vector<LeaseInterface>& interfaces)
{
    return ReadLeases(ListLeaseStores(root), interfaces);
}

Leases ReadFixture(const std::string& tree, const std::vector<LeaseInterface>& interfaces)
{
    return ReadTree(std::string(OSTREL_LEASE_FIXTURES) + "/" + tree, interfaces);
}

std::vector<std::string> Servers(const LeaseCandidates& candidates)
{
    std::vector<std::string> servers;
    for (const LeaseFacts& facts : candidates) {
        servers.push_back(facts.server);
    }
    return servers;
}

int64_t Utc(int year, int month, int day, int hour, int minute, int second)
{
    struct tm fields = {};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    return timegm(&fields);
}

int64_t FileMtime(const std::string& path)
{
    struct stat info;
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    return info.st_mtim.tv_sec;
}

bool IsDottedQuad(const std::string& text)
{
    in_addr address;
    char printed[INET_ADDRSTRLEN];
    return inet_pton(AF_INET, text.c_str(), &address) == 1 &&
           inet_ntop(AF_INET, &address, printed, sizeof printed) != nullptr && text == printed;
}

void ExpectOnlyAddresses(const LeaseFacts& facts)
{
    if (!facts.address.empty()) {
        EXPECT_TRUE(IsDottedQuad(facts.address)) << facts.address;
    }
    if (!facts.server.empty()) {
        EXPECT_TRUE(IsDottedQuad(facts.server)) << facts.server;
    }
    for (const std::string& wins : facts.wins) {
        EXPECT_TRUE(IsDottedQuad(wins)) << wins;
    }
}

// A scratch root that goes away with the test.
class TempRoot {
   public:
    TempRoot()
    {
        char pattern[] = "/tmp/ostrel-leases-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~TempRoot()
    {
        std::string command = "rm -rf '" + path_ + "'";
        EXPECT_EQ(system(command.c_str()), 0);
    }
    const std::string& path() const
    {
        return path_;
    }
    std::string Write(const std::string& relative, const std::string& bytes, int64_t mtime = 0)
    {
        std::string full = path_ + "/" + relative;
        std::string command = "mkdir -p '" + full.substr(0, full.rfind('/')) + "'";
        EXPECT_EQ(system(command.c_str()), 0);
        std::ofstream(full, std::ios::binary) << bytes;
        if (mtime != 0) {
            struct timeval times[2] = {{mtime, 0}, {mtime, 0}};
            EXPECT_EQ(utimes(full.c_str(), times), 0);
        }
        return full;
    }

   private:
    std::string path_;
};

std::string DhclientBlock(const std::string& interface, const std::string& server)
{
    return "lease {\n  interface \"" + interface + "\";\n  option dhcp-server-identifier " +
           server + ";\n  option dhcp-lease-time 600;\n  expire epoch 1700000600;\n}\n";
}

// The raw DHCP reply dhcpcd keeps: yiaddr and options 54, 44 and 51.
std::string DhcpcdMessage(const std::string& address, const std::string& server,
                          const std::vector<std::string>& wins, uint32_t seconds)
{
    auto put = [](std::string& bytes, const std::string& dotted) {
        in_addr parsed;
        EXPECT_EQ(inet_pton(AF_INET, dotted.c_str(), &parsed), 1) << dotted;
        bytes.append(reinterpret_cast<const char*>(&parsed), 4);
    };
    std::string message(16, '\0');
    if (!address.empty()) {
        put(message, address);
    }
    message.resize(236, '\0');
    message += "\x63\x82\x53\x63";
    if (!server.empty()) {
        message += "\x36\x04";
        put(message, server);
    }
    if (!wins.empty()) {
        message += '\x2c';
        message += static_cast<char>(4 * wins.size());
        for (const std::string& one : wins) {
            put(message, one);
        }
    }
    message += "\x33\x04";
    for (int shift = 24; shift >= 0; shift -= 8) {
        message += static_cast<char>(seconds >> shift);
    }
    return message + "\xff";
}

TEST(NetworkdLeases, ServerAndLifetimeFromEitherFormat)
{
    Leases leases =
        ReadFixture("networkd", {{"lo", 1}, {"eth0", 2}, {"wlan0", 3}, {"x", 4}, {"y", 5}});
    ASSERT_EQ(leases.size(), 3u);
    const LeaseFacts& old = leases.at(2).front();
    EXPECT_TRUE(old.found);
    EXPECT_EQ(old.address, "192.168.10.57");
    EXPECT_EQ(old.server, "192.168.10.1");
    EXPECT_TRUE(old.wins.empty());
    EXPECT_FALSE(old.obtainedKnown);
    EXPECT_EQ(old.end, LeaseEnd::kUnknown);
    EXPECT_EQ(leases.at(3).front().server, "10.0.3.2");
    EXPECT_EQ(leases.at(3).front().address, "10.0.3.15");
    // A leading zero is rejected, the lease stays.
    EXPECT_TRUE(leases.at(5).front().found);
    EXPECT_EQ(leases.at(5).front().server, "");
}

TEST(NetworkdLeases, OnlyAnInfiniteLifetimeIsKept)
{
    const std::pair<const char*, LeaseEnd> cases[] = {
        {"4294967295", LeaseEnd::kNever},    {"infinity", LeaseEnd::kNever},
        {" infinity\r", LeaseEnd::kNever},   {"600", LeaseEnd::kUnknown},
        {"8min 45s", LeaseEnd::kUnknown},    {"4294967294", LeaseEnd::kUnknown},
        {"04294967295", LeaseEnd::kUnknown}, {"infinityx", LeaseEnd::kUnknown},
    };
    for (const auto& [lifetime, end] : cases) {
        LeaseFacts facts =
            ParseNetworkdLease(std::string("ADDRESS=10.0.0.5\nLIFETIME=") + lifetime + "\n");
        EXPECT_EQ(facts.end, end) << lifetime;
        EXPECT_FALSE(facts.obtainedKnown) << lifetime;
    }
}

TEST(DhclientLeases, LastCompleteBlockPerInterfaceWins)
{
    Leases leases = ReadFixture(
        "dhclient",
        {{"eth0", 1}, {"eth1", 2}, {"eth10", 3}, {"eth2", 4}, {"wlan0", 5}, {"eth3", 6}});
    ASSERT_EQ(leases.size(), 5u);

    const LeaseFacts& eth0 = leases.at(1).front();  // the torn block at the end is not taken
    EXPECT_EQ(eth0.address, "192.168.1.51");
    EXPECT_EQ(eth0.server, "192.168.1.254");
    EXPECT_TRUE(eth0.wins.empty());
    ASSERT_TRUE(eth0.obtainedKnown);
    EXPECT_EQ(eth0.end, LeaseEnd::kAt);
    EXPECT_EQ(eth0.expires, Utc(2024, 2, 25, 12, 0, 0));
    EXPECT_EQ(eth0.obtained, Utc(2024, 2, 25, 0, 0, 0));

    // No lease time: the start comes from renew minus the renewal time.
    const LeaseFacts& eth1 = leases.at(2).front();
    EXPECT_EQ(eth1.server, "172.16.0.1");
    EXPECT_EQ(eth1.address, "172.16.0.21");
    EXPECT_TRUE(eth1.wins.empty()) << "a list with a bad entry is dropped";
    ASSERT_TRUE(eth1.obtainedKnown);
    EXPECT_EQ(eth1.obtained, Utc(2024, 3, 1, 0, 0, 0));
    EXPECT_EQ(eth1.expires, Utc(2024, 3, 1, 0, 10, 0));

    EXPECT_EQ(leases.at(3).front().server, "10.10.0.1");  // expire never
    EXPECT_EQ(leases.at(3).front().end, LeaseEnd::kNever);
    EXPECT_FALSE(leases.at(3).front().obtainedKnown);
    EXPECT_TRUE(leases.at(4).front().found);  // February 30th
    EXPECT_EQ(leases.at(4).front().end, LeaseEnd::kUnknown);
    EXPECT_EQ(leases.at(4).front().address, "");

    const LeaseFacts& wlan0 = leases.at(5).front();  // NetworkManager's file, named by its file
    EXPECT_EQ(wlan0.server, "192.168.178.1");
    EXPECT_EQ(wlan0.address, "192.168.178.23");
    EXPECT_EQ(wlan0.expires, 1700864000);
    EXPECT_EQ(wlan0.obtained, 1700000000);
}

TEST(DhclientLeases, WinsListAndFileInterface)
{
    auto leases = ParseDhclientLeases(
        "default-duid \"\\000\\001\";\n"
        "lease { interface \"other\"; option netbios-name-servers 10.0.0.2, 10.0.0.3;\n"
        "  option domain-name \"x\\\"; }\"; }\n",
        "wlp2s0");
    ASSERT_EQ(leases.size(), 1u);
    EXPECT_EQ(leases.at("wlp2s0").wins, (std::vector<std::string>{"10.0.0.2", "10.0.0.3"}));
}

TEST(DhclientLeases, MalformedInputYieldsNoBogusLease)
{
    const char* inputs[] = {
        "lease { interface \"eth0\"; option dhcp-server-identifier 1.2.3.4",
        "lease { interface \"eth0; }",
        "} } lease { { { interface \"eth0\"; }",
        "lease lease { interface \"eth0\"; }",
        "lease { interface \"an-interface-name-too-long\"; }",
        "lease { interface \"eth0\"; option dhcp-server-identifier 1.2.3.4 5.6.7.8;"
        " option dhcp-lease-time 99999999999; expire epoch 99999999999999999999; }",
        "lease { interface \"eth0\"; option netbios-name-servers 1.2.3.4,; expire 1 1969/12/31 "
        "23:59:59; }",
        "lease { interface \"eth0\"; option dhcp-lease-time 2000000000; expire epoch 5; }",
        "failover { peer { } lease { interface \"eth0\"; option dhcp-server-identifier 1.2.3.4; } "
        "}",
    };
    for (const char* input : inputs) {
        auto leases = ParseDhclientLeases(input, "");
        auto eth0 = leases.find("eth0");
        if (eth0 == leases.end()) {
            continue;
        }
        EXPECT_TRUE(eth0->second.server.empty()) << input;
        EXPECT_TRUE(eth0->second.wins.empty()) << input;
        EXPECT_FALSE(eth0->second.obtainedKnown) << input;
    }
    EXPECT_EQ(ParseDhclientLeases(inputs[5], "").at("eth0").end, LeaseEnd::kUnknown);
}

// How the blocks real clients write end: an infinite lease both ways it is
// written, a released one (the client appends a block that ends at the
// release), and one whose start cannot be worked out.
TEST(DhclientLeases, EndsAndObtainedTimes)
{
    const int64_t bound = Utc(2026, 12, 7, 22, 22, 3);
    struct Case {
        const char* statements;
        LeaseEnd end;
        int64_t expires;
        int64_t obtained;  // -1: unknown
    } cases[] = {
        {"option dhcp-lease-time 4294967295; renew 0 2094/12/26 01:36:11;"
         " expire 5 2163/01/14 04:50:18;",
         LeaseEnd::kNever, 0, bound},
        {"option dhcp-lease-time 4294967295; renew never; expire never;", LeaseEnd::kNever, 0, -1},
        {"option dhcp-lease-time 600; renew 1 2026/12/07 22:21:55;"
         " expire 1 2026/12/07 22:21:55;",
         LeaseEnd::kAt, Utc(2026, 12, 7, 22, 21, 55), Utc(2026, 12, 7, 22, 11, 55)},
        {"expire epoch 1700000000;", LeaseEnd::kAt, 1700000000, -1},
        {"option dhcp-lease-time 600; expire epoch 600;", LeaseEnd::kAt, 600, 0},
        {"expire 1 2026/13/07 22:21:55;", LeaseEnd::kUnknown, 0, -1},
    };
    for (const Case& c : cases) {
        std::string text = std::string("lease { fixed-address 10.0.0.5; ") + c.statements + " }";
        LeaseFacts facts = ParseDhclientLeases(text, "vc").at("vc");
        EXPECT_EQ(facts.end, c.end) << c.statements;
        if (c.end == LeaseEnd::kAt) {
            EXPECT_EQ(facts.expires, c.expires) << c.statements;
        }
        EXPECT_EQ(facts.obtainedKnown, c.obtained >= 0) << c.statements;
        if (c.obtained >= 0) {
            EXPECT_EQ(facts.obtained, c.obtained) << c.statements;
        }
    }
}

TEST(NetworkManagerInternalLeases, FoundOnlyWithAnAddress)
{
    Leases leases = ReadFixture("nm-internal", {{"br-lan", 7}, {"lan", 8}, {"enp1s0", 9}});
    ASSERT_EQ(leases.size(), 1u);
    EXPECT_TRUE(leases.at(7).front().found);
    EXPECT_EQ(leases.at(7).front().address, "192.168.122.77");
    EXPECT_EQ(leases.at(7).front().server, "");
    EXPECT_FALSE(leases.at(7).front().obtainedKnown);
    EXPECT_EQ(leases.at(7).front().end, LeaseEnd::kUnknown);
}

TEST(DhcpcdLeases, OptionsAndInterfaceTokens)
{
    std::string dir = std::string(OSTREL_LEASE_FIXTURES) + "/dhcpcd/var/lib/dhcpcd/";
    Leases leases = ReadFixture("dhcpcd", {{"eth0", 1},
                                           {"eth1", 2},
                                           {"eth10", 3},
                                           {"eth0.100", 4},
                                           {"eth2", 5},
                                           {"eth3", 6},
                                           {"eth4", 7}});
    ASSERT_EQ(leases.size(), 4u);

    const LeaseFacts& eth1 = leases.at(2).front();  // also proves eth1 does not take eth10's file
    EXPECT_EQ(eth1.server, "10.1.0.1");
    EXPECT_EQ(eth1.address, "10.1.0.50");
    EXPECT_EQ(eth1.wins, (std::vector<std::string>{"10.1.0.8", "10.1.0.9"}));
    ASSERT_TRUE(eth1.obtainedKnown);
    ASSERT_EQ(eth1.end, LeaseEnd::kAt);
    int64_t mtime = FileMtime(dir + "eth1.lease");
    EXPECT_EQ(eth1.obtained, mtime);
    EXPECT_EQ(eth1.expires, mtime + 7200);

    EXPECT_EQ(leases.at(3).front().server, "10.10.0.1");
    EXPECT_EQ(leases.at(3).front().end, LeaseEnd::kUnknown);
    EXPECT_EQ(leases.at(4).front().server, "10.100.0.1");
    EXPECT_EQ(leases.at(5).front().server, "") << "truncated option";
    EXPECT_EQ(leases.at(5).front().end, LeaseEnd::kAt);
}

TEST(DhcpcdLeases, TimesNeverOverflowAndInfiniteNeverEnds)
{
    std::string message = DhcpcdMessage("", "", {}, 3600);
    const auto* bytes = reinterpret_cast<const uint8_t*>(message.data());
    LeaseFacts near = ParseDhcpcdLease(bytes, message.size(), INT64_MAX - 3599);
    EXPECT_EQ(near.end, LeaseEnd::kUnknown);
    LeaseFacts undated = ParseDhcpcdLease(bytes, message.size(), -1);
    EXPECT_FALSE(undated.obtainedKnown);
    EXPECT_EQ(undated.end, LeaseEnd::kUnknown);
    EXPECT_EQ(near.address, "") << "yiaddr 0.0.0.0 names no address";
    EXPECT_FALSE(ParseDhcpcdLease(nullptr, 0, 0).found);

    std::string infinite = DhcpcdMessage("10.0.0.5", "10.0.0.1", {}, UINT32_MAX);
    LeaseFacts never = ParseDhcpcdLease(reinterpret_cast<const uint8_t*>(infinite.data()),
                                        infinite.size(), 1700000000);
    EXPECT_EQ(never.end, LeaseEnd::kNever);
    EXPECT_TRUE(never.obtainedKnown);
    EXPECT_EQ(never.obtained, 1700000000);
}

TEST(LeaseSources, EachClientsLeasesReachTheirInterface)
{
    Leases leases = ReadFixture("mixed", {{"eth0", 1}, {"eth1", 2}, {"eth2", 3}, {"eth3", 4}});
    ASSERT_EQ(leases.size(), 4u);
    // networkd, dhclient, dhcpcd, the internal client; the files are
    // equally old, so only the order between stores may vary.
    std::vector<std::string> addresses;
    for (uint32_t index : {1, 2, 3, 4}) {
        std::vector<std::string> own;
        for (const LeaseFacts& facts : leases.at(index)) {
            own.push_back(facts.address + " " + facts.server);
        }
        std::sort(own.begin(), own.end());
        addresses.insert(addresses.end(), own.begin(), own.end());
    }
    EXPECT_EQ(addresses, (std::vector<std::string>{"10.0.0.10 10.0.0.1", "10.0.0.20 10.0.0.2",
                                                   "10.0.0.30 10.0.0.3", "10.1.1.20 10.1.1.2",
                                                   "10.1.1.30 10.1.1.3", "10.2.2.30 10.2.2.3",
                                                   "10.2.2.40 ", "10.3.3.40 "}));
}

// Stores that record when a lease was obtained rank by that, the others by
// their file's time; an exact tie goes to the store order.
TEST(LeaseSources, MostRecentlyObtainedRanksFirst)
{
    TempRoot root;
    // Obtained 1700000000 (expire minus lease time), rewritten much later.
    root.Write("var/lib/dhcp/dhclient.leases", DhclientBlock("eth0", "10.0.0.1"), 1700000700);
    root.Write("run/systemd/netif/leases/1", "ADDRESS=10.0.0.5\nSERVER_ADDRESS=10.0.0.2\n",
               1700000100);
    root.Write("var/lib/dhcpcd/eth0.lease", DhcpcdMessage("10.0.0.5", "10.0.0.3", {}, 600),
               1700000300);
    root.Write("var/lib/NetworkManager/internal-x-eth0.lease", "ADDRESS=10.0.0.5\n", 1700000300);
    Leases leases = ReadTree(root.path(), {{"eth0", 1}});
    EXPECT_EQ(Servers(leases.at(1)),
              (std::vector<std::string>{"10.0.0.3", "", "10.0.0.2", "10.0.0.1"}));
}

TEST(LeaseSources, NewestFileOfOneClientWins)
{
    TempRoot root;
    root.Write("var/lib/dhcp/dhclient.eth0.leases", DhclientBlock("eth0", "10.0.0.1"), 1700000000);
    root.Write("var/lib/dhcp/dhclient.leases", DhclientBlock("eth0", "10.0.0.2"), 1700000500);
    root.Write("var/lib/dhcp/dhclient.old.leases", DhclientBlock("eth0", "10.0.0.3"), 1600000000);
    Leases leases = ReadTree(root.path() + "/", {{"eth0", 1}});
    EXPECT_EQ(Servers(leases.at(1)),
              (std::vector<std::string>{"10.0.0.2", "10.0.0.1", "10.0.0.3"}));
}

TEST(LeaseSources, HugeGarbageAndSpecialFiles)
{
    TempRoot root;
    std::string atLimit;
    const std::string block = DhclientBlock("eth1", "10.0.0.1");
    while (atLimit.size() + block.size() <= kLeaseFileLimit) {
        atLimit += block;
    }
    atLimit.resize(kLeaseFileLimit, ' ');
    root.Write("var/lib/dhcp/dhclient.eth1.leases", atLimit);
    std::string huge = atLimit + DhclientBlock("eth0", "10.0.0.1");
    root.Write("var/lib/dhcp/dhclient.leases", huge);
    std::mt19937 random(7);
    std::string garbage(4096, '\0');
    for (char& c : garbage) {
        c = static_cast<char>(random());
    }
    root.Write("run/systemd/netif/leases/3", garbage);
    root.Write("var/lib/dhcpcd/eth2.lease", garbage);
    root.Write("var/lib/NetworkManager/internal-x-eth2.lease", garbage);
    std::string fifo = root.path() + "/var/lib/dhcpcd/eth4.lease";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    root.Write("var/lib/dhcpcd/eth5.lease/nested", "");

    Leases leases =
        ReadTree(root.path(), {{"eth0", 1}, {"eth1", 2}, {"eth2", 3}, {"eth4", 4}, {"eth5", 5}});
    ASSERT_EQ(leases.size(), 1u) << "only the file at the limit is read";
    EXPECT_EQ(leases.at(2).front().server, "10.0.0.1");
    EXPECT_TRUE(ReadTree(root.path() + "/absent", {{"eth0", 1}}).empty());
}

TEST(LeaseSources, FilesOfNoStoreAreNotListed)
{
    TempRoot root;
    EXPECT_TRUE(ListLeaseStores(root.path()).empty());
    root.Write("run/systemd/netif/leases/lo", "ADDRESS=10.0.0.1\n");
    root.Write("var/lib/dhcp/other.leases", DhclientBlock("eth0", "10.0.0.1"));
    root.Write("var/lib/NetworkManager/timestamps", "ADDRESS=10.0.0.1\n");
    root.Write("var/lib/NetworkManager/internal-x-eth0.conf", "ADDRESS=10.0.0.1\n");
    root.Write("var/lib/dhcpcd/eth0.lease6", "");
    EXPECT_TRUE(ListLeaseStores(root.path()).empty());
    root.Write("var/lib/dhcpcd/eth0.lease", "");
    LeaseStores stores = ListLeaseStores(root.path());
    EXPECT_EQ(stores.dhcpcd, (std::vector<std::string>{"eth0.lease"}));
    EXPECT_TRUE(ReadLeases(stores, {{"eth0", 1}}).empty()) << "an empty file holds no lease";
}

TEST(LeaseReaders, RandomBytesStoreOnlyAddresses)
{
    std::mt19937 random(11);
    std::string header(236, '\0');
    header += "\x63\x82\x53\x63";
    for (int round = 0; round < 2000; round++) {
        std::string bytes(random() % 600, '\0');
        for (char& c : bytes) {
            c = static_cast<char>(random() % 4 == 0 ? "{}; \n=.,\"0"[random() % 10] : random());
        }
        ExpectOnlyAddresses(ParseNetworkdLease(bytes));
        for (const auto& lease : ParseDhclientLeases("lease {" + bytes, "")) {
            ExpectOnlyAddresses(lease.second);
        }
        std::string message = header + bytes;
        ExpectOnlyAddresses(ParseDhcpcdLease(reinterpret_cast<const uint8_t*>(message.data()),
                                             message.size(), 1700000000));
    }
}

// A dhclient lease that ended long ago for an address now set by hand is
// no lease; with a live dhcpcd lease for that address, dhcpcd's server and
// WINS are the interface's even though dhclient's ranks first.
TEST(LiveLease, EndedDhclientFileNeverWins)
{
    const int64_t now = 1710000000;
    TempRoot root;
    root.Write("var/lib/dhcp/dhclient.leases",
               "lease {\n  interface \"eth0\";\n  fixed-address 10.0.0.5;\n"
               "  option dhcp-server-identifier 10.0.0.1;\n"
               "  option netbios-name-servers 10.0.0.8;\n  option dhcp-lease-time 600;\n"
               "  expire epoch 1700000600;\n}\n");
    HeldAddress byHand{false, now - 86400, 0};
    int64_t obtained = 0;
    int64_t expires = 0;
    EXPECT_EQ(ChooseLiveLease(ReadTree(root.path(), {{"eth0", 1}}).at(1), Holding(byHand), now,
                              &obtained, &expires),
              nullptr);

    root.Write("var/lib/dhcpcd/eth0.lease",
               DhcpcdMessage("10.0.0.5", "10.0.0.3", {"10.0.0.6", "10.0.0.7"}, UINT32_MAX),
               1690000000);
    Leases leases = ReadTree(root.path(), {{"eth0", 1}});
    ASSERT_EQ(Servers(leases.at(1)), (std::vector<std::string>{"10.0.0.1", "10.0.0.3"}));
    const LeaseFacts* chosen =
        ChooseLiveLease(leases.at(1), Holding(byHand), now, &obtained, &expires);
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(chosen->server, "10.0.0.3");
    EXPECT_EQ(chosen->wins, (std::vector<std::string>{"10.0.0.6", "10.0.0.7"}));
    EXPECT_EQ(obtained, 1690000000);
    EXPECT_EQ(expires, kLeaseNeverEnds);
}

}  // namespace
