// The POSIX plumbing the layer's parts share.
#include "posix.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "test_support.h"

namespace {

// The one whole-file reader: a regular file no longer than the limit,
// never a cut text, and a read taken up again after a signal.
TEST(WholeFileReader, BoundedRegularFilesAndInterruptionsRetried)
{
    TempDir root;
    root.Write("four", "1234");
    ASSERT_EQ(mkfifo((root.path() + "/fifo").c_str(), 0600), 0);
    ASSERT_EQ(symlink("four", (root.path() + "/link").c_str()), 0);
    const struct {
        const char* name;
        size_t limit;
        int error;
    } rows[] = {{"four", 4, 0},     {"four", 3, EFBIG}, {"fifo", 4, ENXIO},
                {"link", 4, ENXIO}, {".", 4, ENXIO},    {"absent", 4, ENOENT}};
    Directory folder(opendir(root.path().c_str()));
    for (const auto& row : rows) {
        std::string bytes;
        EXPECT_EQ(row.error, ReadWholeFile(dirfd(folder.get()), row.name, row.limit, &bytes))
            << row.name;
        EXPECT_TRUE(row.error != 0 || bytes == "1234") << row.name;
    }
    int ends[2];
    ASSERT_EQ(0, pipe(ends));
    struct sigaction quiet = {}, before = {};
    quiet.sa_handler = [](int) {};  // no SA_RESTART: a blocked read fails with EINTR
    ASSERT_EQ(0, sigaction(SIGUSR1, &quiet, &before));
    pthread_t reader = pthread_self();
    std::thread writer([&] {
        for (int i = 0; i < 3; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            pthread_kill(reader, SIGUSR1);
        }
        EXPECT_EQ(2, write(ends[1], "ok", 2));
        close(ends[1]);
    });
    std::string bytes;
    EXPECT_EQ(0, ReadToEnd(ends[0], 4, &bytes));
    writer.join();
    EXPECT_EQ("ok", bytes);
    close(ends[0]);
    sigaction(SIGUSR1, &before, nullptr);
}

TEST(DecimalText, NumbersAtAndPastTheirLimit)
{
    uint64_t parsed = 0;  // a number at, and one past, its limit
    EXPECT_EQ(0, ParseDecimal("255", 255, &parsed));
    EXPECT_EQ(ERANGE, ParseDecimal("256", 255, &parsed));
}

}  // namespace
