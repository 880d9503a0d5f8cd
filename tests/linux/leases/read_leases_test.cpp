// Every lease of every store for each interface, ranked, whatever the stores hold.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "lease_store_support.h"

namespace {

using namespace std::string_literals;

// A copy of a fixture tree, every file written at 1700000000.
Leases ReadFixture(const std::string& tree, const std::vector<LeaseInterface>& interfaces)
{
    TempDir copy;
    std::string command = "cp -r '" + std::string(OSTREL_LEASE_FIXTURES) + "/" + tree + "/.' '" +
                          copy.path() + "' && find '" + copy.path() +
                          "' -type f -exec touch -d @1700000000 {} +";
    EXPECT_EQ(system(command.c_str()), 0);
    return ReadTree(copy.path(), interfaces);
}

// Every reader against one table: what each interface of a fixture tree
// gets, its candidates' address, server, WINS and times ("-": no lease).
TEST(LeaseReaders, FixtureTreesGiveEachInterfaceItsFacts)
{
    const struct {
        const char* tree;
        const char* interface;
        const char* facts;
        const char* hardware = "";
    } rows[] = {
        {"networkd", "lo", "-"},
        {"networkd", "eth0", "192.168.10.57 192.168.10.1  unknown"},
        {"networkd", "wlan0", "10.0.3.15 10.0.3.2  unknown"},
        {"networkd", "x", "-"},
        {"networkd", "y", "10.0.5.9   unknown"},  // a leading zero: no server
        // dhclient: eth0's torn last block is not taken, eth1's start is from renew and its WINS
        // list with a bad entry dropped, eth2's is on February 30th, wlan0's file names it.
        {"dhclient", "eth0", "192.168.1.51 192.168.1.254  at 1708862400 from 1708819200"},
        {"dhclient", "eth1", "172.16.0.21 172.16.0.1  at 1709251800 from 1709251200"},
        {"dhclient", "eth10", "10.10.0.7 10.10.0.1  never"},
        {"dhclient", "eth2", "   unknown"},
        {"dhclient", "wlan0", "192.168.178.23 192.168.178.1  at 1700864000 from 1700000000"},
        {"dhclient", "eth3", "-"},
        {"dhcpcd", "eth0", "-"},
        {"dhcpcd", "eth1",
         "10.1.0.50 10.1.0.1 10.1.0.8,10.1.0.9 at 1700007200 from 1700000000"},  // not eth10's file
        {"dhcpcd", "eth10", "10.1.0.50 10.10.0.1  unknown from 1700000000"},
        {"dhcpcd", "eth0.100", "10.1.0.50 10.100.0.1  at 1700000300 from 1700000000"},
        {"dhcpcd", "eth2", "10.1.0.50   at 1700000060 from 1700000000"},  // truncated option
        {"dhcpcd", "eth3", "-"},
        {"dhcpcd", "eth4", "-"},
        {"nm-internal", "br-lan", "192.168.122.77   unknown"},
        {"nm-internal", "lan", "-"},
        {"nm-internal", "enp1s0", "-"},
        {"mixed", "eth0",
         "10.0.0.10 10.0.0.1  unknown; 10.0.0.20 10.0.0.2  unknown; 10.0.0.30 10.0.0.3  unknown "
         "from 1700000000"},
        {"mixed", "eth1",
         "10.1.1.20 10.1.1.2  unknown; 10.1.1.30 10.1.1.3  unknown from 1700000000"},
        {"mixed", "eth2", "10.2.2.30 10.2.2.3  unknown from 1700000000; 10.2.2.40   unknown"},
        {"mixed", "eth3", "10.3.3.40   unknown"},
        // ConnMan: a service by the hardware address its name carries, a VLAN's
        // (set by hand) too; an IPv6 address is not the IPv4 one; a top-level file is no service.
        {"connman", "eth0", "10.57.0.58   with its address", "0a1b2c3d4e5f"},
        {"connman", "eth0.64", "10.57.0.58   with its address", "0a1b2c3d4e5f"},
        {"connman", "wlan0", "192.168.7.23   with its address", "1a2b3c4d5e6f"},
        {"connman", "eth1", "-", "0a1b2c3d4e"},
        {"connman", "lo", "-"},
    };
    std::map<std::string, std::vector<LeaseInterface>> trees;
    for (const auto& row : rows) {
        trees[row.tree].push_back(
            {row.interface, uint32_t(trees[row.tree].size() + 1), row.hardware});
    }
    std::map<std::string, Leases> read;
    for (const auto& [tree, interfaces] : trees) {
        read[tree] = ReadFixture(tree, interfaces);
    }
    std::map<std::string, uint32_t> indexes;
    for (const auto& row : rows) {
        const Leases& leases = read[row.tree];
        uint32_t index = ++indexes[row.tree];
        std::string facts;
        for (const LeaseFacts& lease : leases.count(index) ? leases.at(index) : LeaseCandidates{}) {
            facts += (facts.empty() ? "" : "; ") + Describe(lease);
        }
        EXPECT_EQ(facts.empty() ? "-" : facts, row.facts) << row.tree << " " << row.interface;
    }
}

// Stores that record when a lease was obtained rank by that, the others by
// their file's time; equal times go to the file's time, then to the store
// order, then to the name. However the folders list them, the order is one.
TEST(LeaseSources, OneRankingHoweverTheFilesAreListed)
{
    TempDir root;
    // Each obtained 1700000000 (expire minus lease time), rewritten later.
    root.Write("var/lib/dhcp/dhclient.leases", DhclientBlock("eth0", "10.0.0.1"), 1700000700);
    root.Write("var/lib/dhcp/dhclient.eth0.leases", DhclientBlock("eth0", "10.0.0.4"), 1700000000);
    root.Write("var/lib/dhcp/dhclient.a.leases", DhclientBlock("eth0", "10.0.0.7"), 1700000000);
    root.Write("var/lib/dhcp/dhclient.b.leases", DhclientBlock("eth0", "10.0.0.8"), 1700000000);
    root.Write("var/lib/dhcp/dhclient.old.leases", DhclientBlock("eth0", "10.0.0.6"), -1);
    root.Write("run/systemd/netif/leases/1", "ADDRESS=10.0.0.5\nSERVER_ADDRESS=10.0.0.2\n",
               1700000100);
    root.Write("var/lib/dhcpcd/eth0.lease", DhcpcdMessage("10.0.0.5", "10.0.0.3", {}, 600),
               1700000300);
    root.Write("var/lib/NetworkManager/internal-x-eth0.lease", "ADDRESS=10.0.0.5\n", 1700000300);
    // NetworkManager's runtime state holds all its internal client's file
    // does and more: the file is left out where the state holds a lease.
    root.Write("run/NetworkManager/devices/1", "[device]\nmanaged=true\n");
    root.Write("run/NetworkManager/devices/2",
               "[dhcp4]\ndhcp4.ip_address=10.0.0.6\ndhcp4.dhcp_server_identifier=10.0.0.9\n");
    root.Write("var/lib/NetworkManager/internal-x-eth1.lease", "ADDRESS=10.0.0.6\n");
    // Files of no store, which would add servers if they were read.
    root.Write("run/systemd/netif/leases/lo", "ADDRESS=10.0.0.5\nSERVER_ADDRESS=10.0.0.1\n");
    root.Write("var/lib/dhcp/other.leases", DhclientBlock("eth0", "10.0.0.1"));
    root.Write("var/lib/NetworkManager/timestamps", "ADDRESS=10.0.0.5\n");
    root.Write("var/lib/NetworkManager/internal-x-eth0.conf", "ADDRESS=10.0.0.5\n");
    root.Write("var/lib/dhcpcd/eth0.lease6", DhcpcdMessage("10.0.0.5", "10.0.0.1", {}, 600));
    LeaseStoreFiles stores = ListTree(root.path());
    std::mt19937 random(5);
    for (int round = 0; round < 8; round++) {
        Leases leases;
        ASSERT_EQ(ReadLeases(stores, {{"eth0", 1}, {"eth1", 2}}, &leases), 0);
        EXPECT_EQ(Servers(leases.at(1)),
                  (std::vector<std::string>{"10.0.0.3", "", "10.0.0.2", "10.0.0.1", "10.0.0.4",
                                            "10.0.0.8", "10.0.0.7", "10.0.0.6"}));
        EXPECT_EQ(leases.at(1).front().written, 1700000300);  // the file's time, none before 1970
        EXPECT_EQ(leases.at(1).back().written, 0);
        EXPECT_EQ(Servers(leases.at(2)), std::vector<std::string>{"10.0.0.9"});
        std::shuffle(stores.dhclient.begin(), stores.dhclient.end(), random);
    }
}

TEST(LeaseSources, FilesAtAndPastTheSizeLimit)
{
    TempDir root;
    std::string atLimit;
    const std::string block = DhclientBlock("eth1", "10.0.0.1");
    while (atLimit.size() + block.size() <= kFileLimit) {
        atLimit += block;
    }
    atLimit.resize(kFileLimit, ' ');
    // The store's folder is a link root made, followed (another user's is not).
    const std::string folder = geteuid() == 0 ? "var/lib/dhcp.real/" : "var/lib/dhcp/";
    root.Write(folder + "dhclient.eth1.leases", atLimit);
    ASSERT_TRUE(geteuid() != 0 ||
                symlink("dhcp.real", (root.path() + "/var/lib/dhcp").c_str()) == 0);
    // Its last part starts inside a quoted name: the torn block is skipped.
    std::string huge = atLimit + DhclientBlock("eth0", "10.0.0.1") + "#" + std::string(20, '\n');
    root.Write(folder + "dhclient.leases", huge);
    Leases leases = ReadTree(root.path(), {{"eth0", 1}, {"eth1", 2}});
    ASSERT_EQ(leases.size(), 2u) << "the file at the limit, and the last part of the one past it";
    EXPECT_EQ(ServerOf(leases.at(2).front()), "10.0.0.1");
    EXPECT_EQ(ServerOf(leases.at(1).front()), "10.0.0.1");
}

// Files a store holds for eth0: dhclient's, dhcpcd's and systemd-networkd's,
// each with its own server, the most recent first.
const char kEachStoresServer[] = "10.0.0.1 10.0.0.3 10.0.0.2";
void WriteEachStore(TempDir& root)
{
    root.Write("var/lib/dhcp/dhclient.leases", DhclientBlock("eth0", "10.0.0.1"), 1700000000);
    root.Write("var/lib/dhcpcd/eth0.lease", DhcpcdMessage("10.0.0.5", "10.0.0.3", {}, 600),
               1600000000);
    root.Write("run/systemd/netif/leases/1", "ADDRESS=10.0.0.5\nSERVER_ADDRESS=10.0.0.2\n",
               1500000000);
}

std::string ServersOfEth0(const std::string& root, int* error)
{
    LeaseStoreFiles stores;
    Leases leases;
    *error = ListLeaseStores(root, &stores);
    if (*error == 0 && !stores.empty()) {
        *error = ReadLeases(stores, {{"eth0", 1}}, &leases);
    }
    std::string servers;
    for (const std::string& server : Servers(leases[1])) {
        servers += (servers.empty() ? "" : " ") + server;
    }
    return servers;
}

// Leases that are there but cannot be read for want of descriptors fail
// the whole read, wherever in the stores (every one, or dhclient's alone,
// whose failure no later store's then hides) the descriptors run out, and
// leave none open; with enough, every store is read.
TEST(LeaseStoreFaults, RunningOutOfDescriptorsFailsTheRead)
{
    TempDir root, alone;
    WriteEachStore(root);
    alone.Write("var/lib/dhcp/dhclient.leases", DhclientBlock("eth0", "10.0.0.1"));
    rlimit before;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
    int lowest = dup(0);
    close(lowest);
    for (const auto& [tree, all] : {std::pair{&root, kEachStoresServer}, {&alone, "10.0.0.1"}}) {
        std::set<int> errors;
        for (int spare = 0; spare <= 8; spare++) {
            DescriptorsKept kept;
            rlimit low = {rlim_t(lowest + spare), before.rlim_max};
            ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
            int error = 0;
            std::string servers = ServersOfEth0(tree->path(), &error);
            setrlimit(RLIMIT_NOFILE, &before);
            EXPECT_TRUE(error == EMFILE || (error == 0 && servers == all)) << spare;
            EXPECT_TRUE(error == 0 || errors.count(0) == 0) << "more descriptors, less read";
            errors.insert(error);
        }
        EXPECT_EQ(errors, (std::set<int>{0, EMFILE})) << all;
    }
}

// For this thread, file modes hold as they do for an account below root.
struct ModesHold {
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2] = {};
    ModesHold()
    {
        syscall(SYS_capget, &header, caps);
        __user_cap_data_struct fewer[2] = {caps[0], caps[1]};
        fewer[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH);
        syscall(SYS_capset, &header, fewer);
    }
    ~ModesHold()
    {
        syscall(SYS_capset, &header, caps);
    }
};

// What an account below root or a stuck service puts in the stores costs
// nothing more: a symlink to a root-only file, or a folder that is one, is
// not followed, no FIFO is opened, a folder or file not ours to read is
// passed over, a dhcpcd that answers tells the leases its file keeps from us, in its order,
// and one that never answers holds up the whole read once, however many ask it.
TEST(LeaseStoreFaults, OnlyRegularFilesAreOpenedAndSilenceIsWaitedForOnce)
{
    TempDir root;
    WriteEachStore(root);
    std::string secret = root.Write("secret/1", "ADDRESS=10.0.0.5\nSERVER_ADDRESS=10.0.0.9\n");
    std::string own = root.Write("run/systemd/netif/leases/11", "ADDRESS=10.0.0.5\n");
    ASSERT_EQ(symlink(secret.c_str(), (own + "2").c_str()), 0);
    ASSERT_EQ(mkfifo((own + "3").c_str(), 0600), 0);
    std::string devices = root.Write("run/NetworkManager/x", "");
    devices.replace(devices.size() - 1, 1, "devices");
    ASSERT_EQ(symlink(secret.substr(0, secret.size() - 2).c_str(), devices.c_str()), 0);
    EXPECT_TRUE(lchown(devices.c_str(), 65534, 65534) == 0 || geteuid() != 0);  // not root's
    std::string internal = root.Write("var/lib/NetworkManager/internal-x-a.lease", secret);
    ASSERT_EQ(chmod(internal.substr(0, internal.rfind('/')).c_str(), 0), 0);
    for (const char* name : {"e", "f", "eth0"}) {
        std::string file = "var/lib/dhcpcd/" + std::string(name) + ".lease";
        ASSERT_EQ(chmod(root.Write(file, "", 1700000000).c_str(), 0), 0);
    }
    int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(watch, own.substr(0, own.rfind('/')).c_str(), IN_OPEN), 0);
    root.Write("run/dhcpcd/x", "");
    FakeDhcpcd silent(root.path() + "/run/dhcpcd/unpriv.sock", "", true);
    FakeDhcpcd tells(root.path() + "/run/dhcpcd/e-4.unpriv.sock",
                     Framed({"protocol=dhcp\0new_ip_address=10.0.0.5\0new_dhcp_lease_time=60"s,
                             "protocol=dhcp\0new_ip_address=10.0.0.6\0new_dhcp_lease_time=60"s},
                            2));
    ASSERT_EQ(system(("chmod 666 '" + root.path() + "'/run/dhcpcd/*").c_str()), 0);
    auto start = std::chrono::steady_clock::now();
    Leases leases = {{99, {}}};  // what an earlier read left
    {
        ModesHold modes;
        EXPECT_EQ(ReadLeases(ListTree(root.path()),
                             {{"a", 11}, {"b", 112}, {"c", 113}, {"e", 20}, {"f", 21}}, &leases),
                  0);
    }
    EXPECT_EQ(leases.size(), 2u);
    EXPECT_EQ(Describe(leases[20].at(0)), "10.0.0.5   at 1700000060 from 1700000000");
    EXPECT_EQ(Describe(leases[20].at(1)), "10.0.0.6   at 1700000060 from 1700000000");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    std::set<std::string> opened;
    alignas(inotify_event) char events[4096];
    for (ssize_t got = read(watch, events, sizeof events), at = 0; at < got;) {
        auto* event = reinterpret_cast<inotify_event*>(events + at);
        if (event->len > 0) {
            opened.insert(event->name);
        }
        at += ssize_t(sizeof *event + event->len);
    }
    close(watch);
    EXPECT_EQ(opened, (std::set<std::string>{"11"}));
}

// Nothing the reader does needs a large stack: it runs whole on a thread
// given less than one 64 KiB block.
TEST(LeaseStoreFaults, ReadsOnASmallStack)
{
    TempDir root;
    root.Write("var/lib/dhcp/dhclient.leases", DhclientBlock("eth0", "10.0.0.1"));
    root.Write("var/lib/dhcpcd/eth0.lease", DhcpcdMessage("10.0.0.5", "10.0.0.3", {}, 600));
    static std::string path;
    path = root.path();
    EXPECT_EXIT(
        {
            pthread_attr_t attributes;
            pthread_attr_init(&attributes);
            pthread_attr_setstacksize(&attributes, 48 * 1024);
            pthread_t thread;
            static size_t found = 0;
            auto run = [](void*) -> void* {
                found = ReadTree(path, {{"eth0", 1}}).at(1).size();
                return nullptr;
            };
            if (pthread_create(&thread, &attributes, run, nullptr) != 0) {
                _exit(2);
            }
            pthread_join(thread, nullptr);
            _exit(found == 2 ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace
