// Open descriptors of this process, counted before and after a fixture:
// an owner that stops closing shows up in any test that uses it.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>

inline int OpenDescriptors()
{
    DIR* dir = opendir("/proc/self/fd");
    int count = -1;  // the listing's own descriptor
    for (dirent* entry; dir != nullptr && (entry = readdir(dir)) != nullptr;) {
        count += entry->d_name[0] != '.';
    }
    if (dir != nullptr) {
        closedir(dir);
    }
    return count;
}

// Fails the test when the scope ends with more or fewer descriptors open.
struct DescriptorsKept {
    int before = OpenDescriptors();
    ~DescriptorsKept()
    {
        EXPECT_EQ(OpenDescriptors(), before) << "descriptors opened and kept, or closed twice";
    }
};
