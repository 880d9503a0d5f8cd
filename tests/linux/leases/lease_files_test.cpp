// Listing the stores and reading their files: bounded, regular files only.
#include "lease_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>
#include <vector>

#include "lease_store_support.h"

namespace {

// Only a regular file is read, and only whole: up to the size limit and
// what is left of the budget, or not at all.
TEST(LeaseSources, OnlyRegularFilesWithinTheLimitsAreRead)
{
    TempDir root;
    const size_t limit = kFileLimit;
    for (size_t size : {limit - 1, limit, limit + 1}) {
        ASSERT_EQ(truncate(root.Write(std::to_string(size), "").c_str(), off_t(size)), 0);
    }
    ASSERT_EQ(mkfifo((root.path() + "/fifo").c_str(), 0600), 0);
    ASSERT_EQ(symlink("1048575", (root.path() + "/link").c_str()), 0);
    root.Write("dir/x", "");
    const struct {
        std::string name;
        size_t budget;
        int error;
        size_t left;  // of the budget
    } rows[] = {{std::to_string(limit - 1), limit, 0, 1},
                {std::to_string(limit), limit, 0, 0},
                {std::to_string(limit + 1), limit * 2, EFBIG, limit * 2},
                {std::to_string(limit), limit - 1, ENOSPC, 0},
                {"dir/x", 0, ENOSPC, 0},  // empty, yet nothing is left to read
                // Said to be empty, then "ostrel_leases_t\n": a file that grows as it is read.
                {"../../proc/self/comm", 15, EFBIG, 0},
                {"../../proc/self/comm", 16, 0, 0},
                {"fifo", limit, ENXIO, limit},
                {"link", limit, ENXIO, limit},
                {"dir", limit, ENXIO, limit},
                {"absent", limit, ENOENT, limit}};
    Directory folder(opendir(root.path().c_str()));
    for (auto row : rows) {
        if (row.name == "../../proc/self/comm") {
            // The name is the loader's or an emulator's where one runs the test.
            std::string name;
            std::getline(std::ifstream("/proc/self/comm"), name);
            row.budget += name.size() + 1 - 16;
        }
        DescriptorsKept kept;
        ReadBudget budget{row.budget};
        LeaseFile file;
        EXPECT_EQ(ReadLeaseFile(folder.get(), row.name, budget, &file), row.error) << row.name;
        EXPECT_EQ(budget.bytesLeft, row.left) << row.name;
        EXPECT_TRUE(row.error != 0 || file.bytes.size() == row.budget - row.left) << row.name;
    }
}

// ConnMan's service folders are opened without links and only where the
// store's owner made them; a name that is no folder holds no lease.
TEST(LeaseSources, ConnmanServicesOnlyInFoldersOfTheStoresOwner)
{
    TempDir root;
    const std::string store = "var/lib/connman/";
    const std::string settings = "IPv4.method=dhcp\nIPv4.DHCP.LastAddress=10.0.0.5\n";
    root.Write(store + "real/settings", settings);
    root.Write(store + "ethernet_0a0000000001_cable/settings", settings);
    root.Write(store + "ethernet_0a0000000002_cable", settings);
    ASSERT_EQ(symlink("real", (root.path() + "/" + store + "ethernet_0a0000000003_cable").c_str()),
              0);
    ASSERT_EQ(mkfifo((root.path() + "/" + store + "ethernet_0a0000000004_cable").c_str(), 0600), 0);
    root.Write(store + "ethernet_0a0000000005_cable/settings", settings);
    bool stranger = geteuid() == 0;  // only root can give a folder to another user
    ASSERT_TRUE(!stranger ||
                chown((root.path() + "/" + store + "ethernet_0a0000000005_cable").c_str(), 65534,
                      65534) == 0);
    std::vector<LeaseInterface> interfaces;
    for (uint32_t i = 1; i <= 5; i++) {
        interfaces.push_back({"e" + std::to_string(i), i, "0a000000000" + std::to_string(i)});
    }
    Leases leases = ReadTree(root.path(), interfaces);
    EXPECT_EQ(leases.count(1), 1u);
    EXPECT_EQ(leases.count(2) + leases.count(3) + leases.count(4), 0u);
    EXPECT_EQ(leases.count(5), stranger ? 0u : 1u);
    Directory folder(opendir((root.path() + "/" + store).c_str()));
    Directory inner;
    EXPECT_EQ(OpenLeaseFolder(folder.get(), "ethernet_0a0000000002_cable", &inner), ENXIO);
    EXPECT_EQ(OpenLeaseFolder(folder.get(), "ethernet_0a0000000003_cable", &inner), ENXIO);
    EXPECT_EQ(OpenLeaseFolder(folder.get(), "gone", &inner), ENOENT);
    EXPECT_FALSE(inner);
}

// A folder that lists more entries than the bound and files that would
// take more than the read limit stop at their bounds.
TEST(LeaseStoreFaults, ListingAndReadingAreBounded)
{
    TempDir root;
    std::string folder = root.Write("var/lib/dhcpcd/0.lease", "");
    folder.erase(folder.rfind('/') + 1);
    for (size_t i = 1; i < kEntryLimit; i++) {
        std::ofstream(folder + std::to_string(i) + ".lease");
    }
    // With "." and "..", one entry past the bound.
    EXPECT_EQ(ListTree(root.path()).dhcpcd.size(), kEntryLimit - 2);
    ASSERT_EQ(system(("rm -r '" + folder + "'").c_str()), 0);

    const size_t files = kReadLimit / kFileLimit + 4;
    for (size_t i = 0; i < files; i++) {
        std::string path = root.Write("var/lib/dhcp/dhclient." + std::to_string(i) + ".leases",
                                      DhclientBlock("eth0", "10.0.0.1"));
        ASSERT_EQ(truncate(path.c_str(), kFileLimit), 0);
    }
    EXPECT_EQ(ReadTree(root.path(), {{"eth0", 1}}).at(1).size(), kReadLimit / kFileLimit);
}

}  // namespace
