// Which names lead to the running executable, and how it is opened.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <string>
#include <thread>

#include "version_support.h"

namespace {

TEST_F(VersionFile, NamesLeadToTheRunningExecutable)
{
    // Another file is never read, whatever it carries.
    EXPECT_EQ(FileVersion(OSTREL_EXE), kNoFile);
    // The file at copy stands in for the running one.
    std::string copy = Write("Ostrel", exe);
    // A name one byte short of the path limit is looked up; one as long as
    // it is not, though the name without ".exe" would fit.
    std::string padded = dir + std::string(PATH_MAX - 11 - dir.size(), '/') + "Ostrel.exe";
    // Nor does a file beside it make a name lead elsewhere: the Windows
    // build, or a copy carrying another version.
    Write("Ostrel.exe", Bytes{'M', 'Z', 0x90, 0});
    Bytes forged = exe;
    Bytes version = {'1', 0, ',', 0, ' ', 0, '0', 0, ',', 0, ' ', 0, '0', 0, ',', 0, ' ', 0, '2'};
    auto at = std::search(forged.begin(), forged.end(), version.begin(), version.end());
    ASSERT_NE(at, forged.end());
    *at = '6';
    EXPECT_EQ(RunningVersion(Write("Ostrel.EXE", forged)), "6, 0, 0, 2");
    ASSERT_EQ(symlink(copy.c_str(), (dir + "/link").c_str()), 0);
    ASSERT_EQ(symlink((dir + "/Ostrel.EXE").c_str(), (dir + "/elsewhere").c_str()), 0);
    ASSERT_EQ(link(copy.c_str(), (dir + "/hard").c_str()), 0);
    const struct {
        std::string name;
        const char* version;
    } names[] = {{copy, kRecord},
                 {copy + ".eXe", kRecord},
                 {copy + ".exe", kRecord},
                 {copy + ".EXE", kRecord},
                 {copy + ".com.exe", kNoFile},
                 {copy + ".com", kNoFile},
                 {padded, kRecord},
                 {"/" + padded, kNoFile},
                 {dir + "/hard.exe", kRecord},
                 {dir + "/link.exe", kRecord},
                 {dir + "/elsewhere", kNoFile},
                 {dir + "/Ostrel.EXE.exe", kNoFile},
                 {dir, kNoFile},
                 {"Ostrel.exe", kRecord},  // a bare name, or none, is the running file
                 {"", kRecord}};
    for (const auto& name : names) {
        EXPECT_EQ(RunningVersion(copy, name.name), name.version) << name.name;
    }
    EXPECT_EQ(RunningVersion(Write("text", Bytes(100, 'x'))), kNoRecord);
}

// A name swapped for a FIFO between the search and the open must not hold
// the lookup until some writer comes. A lookup takes well under a
// millisecond: when none ends for a quarter of a second, a watchdog plays
// the writer, so a fault fails the test instead of stalling it.
TEST_F(VersionFile, NameSwappedForAFifoNeverBlocks)
{
    std::string regular = Write("regular", exe), fifo = dir + "/fifo", name = dir + "/race";
    std::string staging = dir + "/staging";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> stop(false), blocked(false);
    std::atomic<long> lookups(0);
    std::thread swapper([&] {
        for (bool toFifo = false; !stop; toFifo = !toFifo) {
            unlink(staging.c_str());
            if (link(toFifo ? fifo.c_str() : regular.c_str(), staging.c_str()) == 0) {
                rename(staging.c_str(), name.c_str());
            }
        }
    });
    std::thread watchdog([&] {
        for (long seen = -1; !stop; seen = lookups) {
            for (int slice = 0; slice < 25 && !stop; slice++) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            if (lookups == seen && !stop) {
                blocked = true;
                int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
                if (writer >= 0) {
                    close(writer);
                }
            }
        }
    });
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    while (std::chrono::steady_clock::now() < end) {
        std::string found = RunningVersion(name);
        EXPECT_TRUE(found == "1, 0, 0, 2" || found == kNoFile || found == kNoRecord ||
                    found == "<unreadable>")
            << found;
        lookups++;
    }
    stop = true;
    swapper.join();
    watchdog.join();
    EXPECT_FALSE(blocked);
    EXPECT_GT(lookups, 100);
}

}  // namespace
