// The version functions on the running executable.
#include <elf.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "os_api.h"
#include "version_support.h"

namespace {

TEST_F(VersionFile, RunningExecutableCarriesTheRecord)
{
    ASSERT_TRUE(exe[EI_CLASS] == kElfClass && exe[EI_DATA] == kElfData);
    // This test carries the record as the tool does.
    DWORD size = GetFileVersionInfoSizeA("Ostrel.exe", NULL);
    ASSERT_GT(size, 0u);
    std::vector<uint8_t> block(size, 0xEE);
    EXPECT_FALSE(GetFileVersionInfoA("", 0, size - 1, block.data()));  // a byte short
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    ASSERT_TRUE(GetFileVersionInfoA("", 0, size, block.data()));
    EXPECT_EQ(std::count(block.begin(), block.end(), 0xEE), 0);  // the spare area cleared
    const char* value = NULL;
    UINT length = 0;
    EXPECT_FALSE(VerQueryValueA(NULL, "\\", (void**)&value, &length) ||
                 VerQueryValueA(block.data(), NULL, (void**)&value, &length) ||
                 VerQueryValueA(block.data(), "\\", NULL, &length));
    EXPECT_FALSE(GetFileVersionInfoA("", 0, size, NULL));
    EXPECT_EQ(0u, GetFileVersionInfoSizeA(NULL, NULL));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    // Out of descriptors, the lookup fails as such, never as "no record".
    int lowest = open("/dev/null", O_RDONLY);
    close(lowest);
    rlimit limit;
    getrlimit(RLIMIT_NOFILE, &limit);
    rlimit lowered = {(rlim_t)lowest, limit.rlim_max};
    setrlimit(RLIMIT_NOFILE, &lowered);
    EXPECT_EQ(FileVersion(""), "<none 4>");
    setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace
