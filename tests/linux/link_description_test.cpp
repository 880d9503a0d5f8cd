// The type number and description of a link, with what /sys adds.
#include "link_description.h"

#include <gtest/gtest.h>
#include <linux/if_arp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "net_objects.h"

namespace {

AdapterFacts Describe(const NetSnapshot& snapshot, const NetLink& link, const char* root)
{
    AdapterFacts facts;
    DescribeLink(snapshot, link, root, facts);
    return facts;
}

void WriteSysFile(const std::string& path, const std::string& text)
{
    FILE* file = fopen(path.c_str(), "w");
    ASSERT_NE(nullptr, file) << path;
    fputs(text.c_str(), file);
    fclose(file);
}

// A directory tree removed with everything in it.
struct TempTree {
    std::string base;
    TempTree()
    {
        char root[] = "/tmp/ostrel_sysnet_XXXXXX";
        EXPECT_NE(nullptr, mkdtemp(root));
        base = root;
    }
    ~TempTree()
    {
        std::string command = "rm -rf " + base;
        EXPECT_EQ(0, system(command.c_str()));
    }
};

// A device directory with a driver, wireless by the given entry.
void AddDevice(const std::string& dir, const char* ifindex, const char* address,
               const char* wireless = "/wireless")
{
    ASSERT_TRUE(mkdir(dir.c_str(), 0755) == 0 || errno == EEXIST);
    ASSERT_EQ(0, mkdir((dir + "/device").c_str(), 0755));
    if (wireless != nullptr) {
        ASSERT_EQ(0, mkdir((dir + wireless).c_str(), 0755));
    }
    ASSERT_EQ(0, symlink("../../../bus/pci/drivers/iwlwifi", (dir + "/device/driver").c_str()));
    if (ifindex != nullptr) {
        WriteSysFile(dir + "/ifindex", ifindex);
    }
    WriteSysFile(dir + "/address", address);
}

}  // namespace

TEST(LinkDescription, TypeNumbersAndNamesOfKernelLinkTypes)
{
    const struct {
        uint16_t arphrd;
        uint32_t type;
        const char* name;
    } kTypes[] = {
        {ARPHRD_ETHER, 6, "ethernet"},
        {ARPHRD_LOOPBACK, 24, "loopback"},
        {ARPHRD_PPP, 23, "ppp"},
        {ARPHRD_SIT, 131, "tunnel"},
        {ARPHRD_NONE, 131, "none"},
        {ARPHRD_SLIP, 28, "slip"},
        {ARPHRD_IEEE1394, 144, "ieee1394"},
        {ARPHRD_INFINIBAND, 1, "infiniband"},
        {ARPHRD_CAN, 1, "other"},
    };
    NetSnapshot snapshot;
    for (const auto& want : kTypes) {
        AdapterFacts facts = Describe(snapshot, MakeLink(1, want.arphrd, "x0"), "/nonexistent");
        EXPECT_EQ(want.type, facts.type) << want.arphrd;
        EXPECT_EQ(want.name, facts.description) << want.arphrd;
    }
}

TEST(LinkDescription, AliasThenKindThenDriver)
{
    NetSnapshot snapshot;
    snapshot.texts = std::string("uplink\n", 7) + '\0';
    NetLink aliased = MakeLink(4, ARPHRD_ETHER, "br0", "bridge");
    aliased.aliasLength = 7;
    EXPECT_EQ("uplink\n", Describe(snapshot, aliased, "/nonexistent").description);
    EXPECT_EQ(
        "bridge",
        Describe(snapshot, MakeLink(4, ARPHRD_ETHER, "br0", "bridge"), "/nonexistent").description);
}

TEST(LinkDescription, SysfsNamesDriverAndWirelessOfTheLinksOwnEntryOnly)
{
    TempTree tree;
    // Each entry looks like a device with a driver; only those carrying the
    // link's own index and hardware address are the link's.
    struct Entry {
        const char* name;
        const char* ifindex;  // nullptr: no such file
        const char* address;
        const char* description;
        uint32_t type;
        const char* wireless = "/wireless";
    };
    const Entry entries[] = {
        {"wlp1", "1\n", "02:00:00:00:00:01\n", "iwlwifi", 71},
        {"wlp2", "7\n", "02:00:00:00:00:02\n", "ethernet", 6},  // another namespace's
        {"wlp3", "3\n", "02:00:00:00:00:99\n", "ethernet", 6},  // same index, other device
        {"wlp4", nullptr, "02:00:00:00:00:04\n", "ethernet", 6},
        {"wlp5", "5x\n", "02:00:00:00:00:05\n", "ethernet", 6},
        {"wlp6", "6\n", "02:00:00:00:00\n", "ethernet", 6},  // one byte short
        {"wlp7", "7\n", "02:00:00:00:00:07\n", "iwlwifi", 71, "/phy80211"},
        {"enp8", "8\n", "02:00:00:00:00:08\n", "iwlwifi", 6, nullptr},
    };
    NetSnapshot snapshot;
    uint32_t index = 1;
    for (const Entry& entry : entries) {
        AddDevice(tree.base + "/" + entry.name, entry.ifindex, entry.address, entry.wireless);
        NetLink link = MakeLink(index, ARPHRD_ETHER, entry.name);
        link.addressLength = 6;
        link.address[0] = 2;
        link.address[5] = static_cast<uint8_t>(index++);
        AdapterFacts facts = Describe(snapshot, link, tree.base.c_str());
        EXPECT_EQ(entry.description, facts.description) << entry.name;
        EXPECT_EQ(entry.type, facts.type) << entry.name;
    }
    EXPECT_EQ(
        "tun",
        Describe(snapshot, MakeLink(9, ARPHRD_NONE, "tun0", "tun"), tree.base.c_str()).description);

    // A name that would lead out of the root never reaches the entry there.
    std::string root = tree.base + "/net";
    ASSERT_EQ(0, mkdir(root.c_str(), 0755));
    AddDevice(tree.base, "8\n", "");
    AdapterFacts parent = Describe(snapshot, MakeLink(8, ARPHRD_ETHER, ".."), root.c_str());
    EXPECT_EQ("ethernet", parent.description);
    EXPECT_EQ(6u, parent.type);
}
