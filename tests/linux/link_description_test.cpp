// The type number and description of a link, with what /sys adds.
#include "link_description.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <linux/if_arp.h>
#include <linux/if_tun.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "make_link.h"
#include "sysfs.h"
#include "test_support.h"

namespace {

// The facts of link, the error's text for the description of one that fails.
AdapterFacts Describe(const NetInterface& link, const char* root, bool noDescriptors = false)
{
    HardwareNames names;
    AdapterFacts facts;
    rlimit before;
    getrlimit(RLIMIT_NOFILE, &before);
    rlimit during = {noDescriptors ? 0 : before.rlim_cur, before.rlim_max};
    setrlimit(RLIMIT_NOFILE, &during);
    if (int error = DescribeLink(link, root, names, facts); error != 0) {
        facts.description = strerror(error);
    }
    setrlimit(RLIMIT_NOFILE, &before);
    return facts;
}

const char kDriver[] = "../../../bus/pci/drivers/iwlwifi";

// A device directory name (relative to tree) with a driver, wireless by the
// given entry.
void AddDevice(TempDir& tree, const std::string& name, const char* ifindex, const char* address,
               const char* wireless = "/wireless", const char* driver = kDriver)
{
    std::string dir = tree.path() + "/" + name;
    tree.Write(name + "/address", address);
    ASSERT_EQ(0, mkdir((dir + "/device").c_str(), 0755));
    if (wireless != nullptr) {
        ASSERT_EQ(0, mkdir((dir + wireless).c_str(), 0755));
    }
    if (driver != nullptr) {
        ASSERT_EQ(0, symlink(driver, (dir + "/device/driver").c_str()));
    }
    if (ifindex != nullptr) {
        tree.Write(name + "/ifindex", ifindex);
    }
}

// The places libudev looks for its database, first found wins.
const char* const kDatabaseDirs[] = {"/etc/systemd/hwdb", "/etc/udev",     "/usr/lib/systemd/hwdb",
                                     "/lib/systemd/hwdb", "/usr/lib/udev", "/lib/udev"};

// In a private mount namespace (this process only, which must be a
// throwaway child), hides every database the machine has and puts the one
// at database (nullptr: none) where the library looks first.
bool UseOnlyDatabase(const char* database)
{
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr)) {
        return false;
    }
    const char* first = nullptr;
    for (const char* dir : kDatabaseDirs) {
        struct stat info;
        if (stat(dir, &info) == 0 && S_ISDIR(info.st_mode)) {
            if (mount("tmpfs", dir, "tmpfs", 0, "size=16m") != 0) {
                return false;
            }
            first = first != nullptr ? first : dir;
        }
    }
    if (database == nullptr) {
        return true;
    }
    std::string command = std::string("cp ") + database + " " + first + "/hwdb.bin";
    return first != nullptr && system(command.c_str()) == 0;
}

// A device directory under tree/devices on the given bus; path is relative
// to tree/devices and the bus directory is made as needed.
void AddBusDevice(TempDir& tree, const std::string& path, const std::string& bus,
                  const char* modalias, const char* driver)
{
    std::string dir = tree.path() + "/devices/" + path;
    std::string drivers = tree.path() + "/bus/" + bus + "/drivers";
    ASSERT_EQ(0, system(("mkdir -p '" + drivers + "'").c_str()));
    tree.Write("devices/" + path + "/modalias", modalias);
    ASSERT_EQ(0, symlink((tree.path() + "/bus/" + bus).c_str(), (dir + "/subsystem").c_str()));
    if (driver != nullptr) {
        ASSERT_EQ(0, symlink((drivers + "/" + driver).c_str(), (dir + "/driver").c_str()));
    }
}

}  // namespace

// A virtual link shows its kind, and a tun device with a tap type says tap.
TEST(LinkDescription, TypeNumbersAndNamesOfKernelLinkTypesAndKinds)
{
    const struct {
        uint16_t arphrd;
        const char* kind;
        uint8_t tunType;
        uint32_t type;
        const char* name;
    } kTypes[] = {
        {ARPHRD_ETHER, "", 0, 6, "ethernet"},
        {ARPHRD_LOOPBACK, "", 0, 24, "loopback"},
        {ARPHRD_PPP, "", 0, 23, "ppp"},
        {ARPHRD_SIT, "", 0, 131, "tunnel"},
        {ARPHRD_NONE, "", 0, 131, "none"},
        {ARPHRD_SLIP, "", 0, 28, "slip"},
        {ARPHRD_IEEE1394, "", 0, 144, "ieee1394"},
        {ARPHRD_INFINIBAND, "", 0, 1, "infiniband"},
        {ARPHRD_CAN, "", 0, 1, "other"},
        {ARPHRD_ETHER, "bridge", 0, 6, "bridge"},
        {ARPHRD_ETHER, "tun", IFF_TUN, 6, "tun"},
        {ARPHRD_ETHER, "tun", IFF_TAP, 6, "tap"},
        {ARPHRD_ETHER, "tun", 0, 6, "tun"},          // a kernel that does not say
        {ARPHRD_ETHER, "veth", IFF_TAP, 6, "veth"},  // another kind's data is no tun type
        {ARPHRD_NONE, "tun", 0, 131, "tun"},
    };
    for (const auto& want : kTypes) {
        NetInterface link = MakeLink(1, want.arphrd, "x0", want.kind);
        link.tunType = want.tunType;
        AdapterFacts facts = Describe(link, "/nonexistent");
        EXPECT_EQ(want.type, facts.type) << want.arphrd << " " << want.kind;
        EXPECT_EQ(want.name, facts.description) << want.arphrd << " " << want.kind;
    }
}

TEST(LinkDescription, SysfsNamesDriverAndWirelessOfTheLinksOwnEntryOnly)
{
    TempDir tree;
    // Deep enough that a name of 14 characters takes its driver link's path to the limit, 255.
    const std::string deep(225 - tree.path().size(), 'r');
    const std::string root = tree.path() + "/" + deep;
    // Link targets of 254, 255 and 256 characters: only the first is surely whole.
    const std::string whole = std::string(246, 'd') + "/iwlwifi";
    const std::string cut = "d" + whole;
    const std::string past = "d" + cut;
    // Each entry looks like a device with a driver; only those carrying the
    // link's own index and hardware address are the link's.
    struct Entry {
        const char* name;
        const char* ifindex;  // nullptr: no such file
        const char* address;
        const char* description;
        uint32_t type;
        const char* wireless = "/wireless";
        const char* driver = kDriver;  // nullptr: none bound
        bool noDescriptors = false;
    };
    const Entry entries[] = {
        {"wlp1", "1\n", "b2:fa:90:00:00:01\n", "iwlwifi", 71},
        {"wlp2", "7\n", "b2:fa:90:00:00:02\n", "ethernet", 6},  // another namespace's
        {"wlp3", "3\n", "b2:fa:90:00:00:99\n", "ethernet", 6},  // same index, other device
        {"wlp4", nullptr, "b2:fa:90:00:00:04\n", "ethernet", 6},
        {"wlp5", "5x\n", "b2:fa:90:00:00:05\n", "ethernet", 6},
        {"wlp6", "6\n", "b2:fa:90:00:00\n", "ethernet", 6},  // one byte short
        {"wlp7", "7\n", "b2:fa:90:00:00:07\n", "iwlwifi", 71, "/phy80211"},
        {"enp8", "8\n", "b2:fa:90:00:00:08\n", "iwlwifi", 6, nullptr},
        // No driver bound: still the type of link it is.
        {"wlp9", "9\n", "b2:fa:90:00:00:09\n", "ethernet", 71, "/wireless", nullptr},
        {"wlp10", "10\n", "B2:FA:90:00:00:0A\n", "iwlwifi", 71},  // hexadecimal digits
        {"wlp11", "11\n", "b2:fa:90:00:00:0b\n", "iwlwifi", 71},  // in either case
        {"wlp12", "12\n", "b2:fa:90:00:00:0c\n", "iwlwifi", 71, "/wireless", whole.c_str()},
        {"wlp13", "13\n", "b2:fa:90:00:00:0d\n", "ethernet", 71, "/wireless", cut.c_str()},
        {"wlp14", "14\n", "b2:fa:90:00:00:0e\n", "ethernet", 71, "/wireless", past.c_str()},
        {"wlp15", "15\n", "b2:fa:90:00:00:0f\n", "iwlwifi", 71, "/wireless", "iwlwifi"},
        {"wlp16", "16\n", "b2:fa:90:00:00:10\n", "ethernet", 71, "/wireless", "drivers/"},
        {"wlp17xxxxxxxxx", "17\n", "b2:fa:90:00:00:11\n", "iwlwifi", 71},    // path of 255
        {"wlp18xxxxxxxxxx", "18\n", "b2:fa:90:00:00:12\n", "ethernet", 71},  // and of 256
        // Facts that are there but cannot be read fail the description.
        {"wlp19", "19\n", "b2:fa:90:00:00:13\n", "Too many open files", 6, "/wireless", kDriver,
         true},
        {"wlp20", "20\n", "b2:fa:90:00:00:g4\n", "ethernet", 6},  // no hexadecimal digit
    };
    uint32_t index = 1;
    for (const Entry& entry : entries) {
        AddDevice(tree, deep + "/" + entry.name, entry.ifindex, entry.address, entry.wireless,
                  entry.driver);
        NetInterface link = MakeLink(index, ARPHRD_ETHER, entry.name);
        link.addressLength = 6;
        memcpy(link.address, "\xb2\xfa\x90", 3);
        link.address[5] = static_cast<uint8_t>(index++);
        AdapterFacts facts = Describe(link, root.c_str(), entry.noDescriptors);
        EXPECT_EQ(entry.description, facts.description) << entry.name;
        EXPECT_EQ(entry.type, facts.type) << entry.name;
    }
    std::string driver;  // refused, not cut to a path that names nothing
    EXPECT_EQ(EOVERFLOW, ReadDriverName(root.c_str(), "wlp18xxxxxxxxxx", &driver));

    // A name that would lead out of the link's own entry never reaches one.
    AddDevice(tree, "", "8\n", "");
    AddDevice(tree, "net", "8\n", "");
    for (const char* name : {"..", ".", "", "../net"}) {
        AdapterFacts facts =
            Describe(MakeLink(8, ARPHRD_ETHER, name), (tree.path() + "/net").c_str());
        EXPECT_EQ("ethernet", facts.description) << name;
        EXPECT_EQ(6u, facts.type) << name;
    }
}

TEST(LinkDescription, ProductNameFromTheHardwareDatabaseElseTheDriver)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root for a private mount namespace";
    }
    TempDir tree;
    // Names unlike any real database's, so a hit proves this one was read.
    tree.Write("etc/udev/hwdb.d/50-test.hwdb",
               "pci:v00001AF4*\n ID_VENDOR_FROM_DATABASE=Test Red Hat\n\n"
               "pci:v00001AF4d00001041*\n ID_MODEL_FROM_DATABASE=Test Virtio NIC\n\n"
               "pci:v00001AF4d00001041sv00001AF4sd00001100*\n"
               " ID_MODEL_FROM_DATABASE=Test Virtio NIC (Test Board)\n\n"
               "pci:v00008086*\n ID_VENDOR_FROM_DATABASE=Test Intel\n\n"
               "pci:v0000FFF0d00000001*\n ID_MODEL_FROM_DATABASE=Test Nameless Maker NIC\n\n"
               "pci:v0000FFF0d00000002\n ID_MODEL_FROM_DATABASE=Test Exact NIC\n\n"
               "pci:v0000FFF0d00000003sv0sd0\n ID_MODEL_FROM_DATABASE=Test Class Cut NIC\n\n"
               "usb:v0BDA*\n ID_VENDOR_FROM_DATABASE=Test Realtek\n\n"
               "usb:v0BDAp8153*\n ID_MODEL_FROM_DATABASE=Test USB NIC\n");
    if (system("command -v systemd-hwdb >/dev/null") != 0) {
        GTEST_SKIP() << "needs systemd-hwdb (udev) to build a database";
    }
    if (void* udev = dlopen("libudev.so.1", RTLD_NOW)) {
        dlclose(udev);
    } else {
        // The tool then names every link by its driver, as the second pass checks.
        GTEST_SKIP() << "needs libudev.so.1 of this architecture (libudev1) to read the database";
    }
    ASSERT_EQ(0, system(("systemd-hwdb --root=" + tree.path() + " update 2>&1").c_str()));
    std::string database = tree.path() + "/etc/udev/hwdb.bin";

    std::string root = tree.path() + "/net";
    const struct {
        const char* name;
        const char* device;  // under tree/devices; the last part is the interface's device
        const char* bus;
        const char* modalias;
        const char* driver;
        const char* named;    // with the database
        const char* unnamed;  // without any
    } kCases[] = {
        // A virtio NIC's own device is on the virtio bus, its PCI device above it.
        {"eth0", "pci0/0000:00:03.0/virtio2", "virtio", "virtio:d00000001v00001AF4\n", "virtio_net",
         "Test Red Hat Test Virtio NIC", "virtio_net"},
        {"usb0", "pci0/0000:00:14.0/usb1/1-1/1-1:1.0", "usb",
         "usb:v0BDAp8153d3000dc00dsc00dp00icFFiscFFip00in00", "r8152", "Test Realtek Test USB NIC",
         "r8152"},
        {"eth1", "pci0/0000:00:1f.6", "pci", "pci:v00008086d000015B8sv0sd0bc02sc00i00", "e1000e",
         "e1000e", "e1000e"},  // a known maker's unknown device
        {"eth2", "pci0/0000:00:04.0", "pci", "pci:v0000FFF0d00000001sv0sd0bc02sc00i00!~\n", "nn",
         "Test Nameless Maker NIC", "nn"},
        {"eth3", "pci0/0000:00:05.0", "pci", "pci:v00001AF4d00001041 x", "bad", "bad",
         "bad"},  // not plain text: no lookup
        {"eth5", "pci0/0000:00:06.0", "pci",
         "pci:v00001AF4d00001041sv00001AF4sd00001100bc02sc00i00", "virtio-pci",
         "Test Red Hat Test Virtio NIC (Test Board)", "virtio-pci"},  // its board's name
        // An SDIO card on the PCI device that hosts the bus.
        {"wlan0", "pci0/0000:00:07.0/mmc0:0001:1", "sdio", "sdio:c00v02D0dA9A6", "brcmfmac",
         "brcmfmac", "brcmfmac"},
        {"eth4", "platform/fe300000.ethernet", "platform", "of:NethernetT(null)Csnps,dwmac",
         "stmmac", "stmmac", "stmmac"},
        {"eth6", "pci0/0000:00:08.0", "pci", "pci:v0000FFF0d00000002\n", "nx", "Test Exact NIC",
         "nx"},  // the line's end is no part of what the database matches
        {"eth7", "pci0/0000:00:09.0", "pci", "pci:v0000FFF0d00000003sv0sd0bc02sc00i00", "nc",
         "Test Class Cut NIC", "nc"},  // nor is a PCI device's class
    };
    // The PCI devices above eth0 and wlan0; both carry ids the database names.
    AddBusDevice(tree, "pci0/0000:00:03.0", "pci",
                 "pci:v00001AF4d00001041sv00001AF4sd00001041bc02sc00i00\n", "virtio-pci");
    AddBusDevice(tree, "pci0/0000:00:07.0", "pci",
                 "pci:v00001AF4d00001041sv00001AF4sd00001041bc08sc05i01", "sdhci-pci");
    uint32_t index = 1;
    for (const auto& c : kCases) {
        std::string device = c.device;
        AddBusDevice(tree, device, c.bus, c.modalias, c.driver);
        std::string entry = root + "/" + c.name;
        tree.Write("net/" + std::string(c.name) + "/ifindex", std::to_string(index++) + "\n");
        ASSERT_EQ(
            0, symlink((tree.path() + "/devices/" + device).c_str(), (entry + "/device").c_str()));
    }
    // Each check runs in a child of its own, with its own mounts.
    for (const char* with : {database.c_str(), static_cast<const char*>(nullptr)}) {
        EXPECT_EXIT(
            {
                bool ok = UseOnlyDatabase(with);
                if (!ok) {
                    fprintf(stderr, "the databases could not be swapped\n");
                }
                HardwareNames names;  // one database for every link, as in a snapshot
                uint32_t at = 1;
                for (const auto& c : kCases) {
                    AdapterFacts facts;
                    DescribeLink(MakeLink(at++, ARPHRD_ETHER, c.name), root.c_str(), names, facts);
                    const char* want = with != nullptr ? c.named : c.unnamed;
                    if (facts.description != want) {
                        fprintf(stderr, "%s: \"%s\", expected \"%s\"\n", c.name,
                                facts.description.c_str(), want);
                        ok = false;
                    }
                }
                exit(ok ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "")
            << (with != nullptr ? "with the test database" : "without any database");
    }
}
