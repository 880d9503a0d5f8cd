// Which interface a store's file belongs to, by the name it carries.
#include "interface_names.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "lease_store_support.h"

namespace {

// A file name gives its lease to the interface with the longest name it
// carries, a run that starts at the name's start or after a separator;
// NetworkManager's "dhclient-" and "internal-" are never part of that run.
TEST(LeaseSources, FileNameGoesToTheLongestInterfaceNameInIt)
{
    const struct {
        bool networkManager;
        const char* file;
        const char* interface;  // "": none
    } cases[] = {
        {true, "dhclient-11-eth0.lease", "eth0"},
        {true, "internal-11-eth0.lease", "eth0"},
        {false, "dhcpcd-eth0.lease", "eth0"},
        {false, "eth0-home.lease", "eth0"},
        {false, "veth0.lease", ""},  // eth0 inside a word
        {false, "eth0x.lease", ""},
        {true, "dhclient-11-eth0-x.lease", ""},  // anchored at the end
        {false, "eth1-eth0.lease", "eth0"},      // a tie goes to the interface listed first
        {false, "eth0-eth1.lease", "eth0"},
        {false, "t-11-eth0-eth1.lease", "t-11-eth0"},  // the longest, though listed later
    };
    // Runs that begin inside a prefix, a character too early or too late,
    // or take in the dot before "lease".
    const std::vector<LeaseInterface> interfaces = {
        {"eth0", 1},   {"t-11-eth0", 2}, {"l-11-eth0", 3}, {"-11-eth0", 4},
        {"1-eth0", 5}, {"eth1", 6},      {"eth0.", 7}};
    for (const auto& c : cases) {
        LeaseStoreFiles stores;
        (c.networkManager ? stores.networkManager : stores.dhcpcd).emplace_back(c.file);
        std::vector<OwnedFile> owned = AssignStoreFiles(stores, interfaces);
        std::string interface = owned.empty() ? "" : std::string(owned.front().interface);
        EXPECT_EQ(interface, c.interface) << c.file;
    }
}

// What a file name carries is matched against the interfaces that exist:
// thousands of names of a hundred pieces each cost no more than their
// length, and the one that names an interface still reaches it.
TEST(LeaseStoreFaults, ManyPiecesInManyNames)
{
    TempDir root;
    std::string dir = root.Write("var/lib/dhcpcd/a.b-c.wlan0-ssid.d.lease",
                                 DhcpcdMessage("10.0.0.5", "10.0.0.3", {}, 600));
    dir.erase(dir.rfind('/') + 1);
    std::mt19937 random(3);
    for (int file = 0; file < 2000; file++) {
        std::string name;
        for (int piece = 0; piece < 124; piece++) {
            name += static_cast<char>('a' + random() % 26);
            name += piece % 2 ? '-' : '.';
        }
        std::ofstream(dir + name + "x.lease");
    }
    std::vector<LeaseInterface> interfaces;
    for (uint32_t i = 0; i < 4000; i++) {
        interfaces.push_back({"v" + std::to_string(i), i + 10});
    }
    interfaces.push_back({"wlan0", 7});
    interfaces.push_back({"a", 8});  // a piece of every name, but shorter
    Leases leases = ReadTree(root.path(), interfaces);
    ASSERT_EQ(leases.size(), 1u);
    EXPECT_EQ(Servers(leases.at(7)), std::vector<std::string>{"10.0.0.3"});
}

}  // namespace
