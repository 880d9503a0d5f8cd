// What the Linux layer's tests share whatever part they test: a scratch
// directory, and bytes with an unreadable page right behind them.
#pragma once

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

// A copy of bytes that ends where a readable page does, the next page
// unreadable: a read past them faults in any build, sanitizer or not.
class GuardedBytes {
   public:
    explicit GuardedBytes(const std::vector<uint8_t>& bytes)
        : page_(static_cast<size_t>(sysconf(_SC_PAGESIZE))), size_(bytes.size())
    {
        void* pages =
            mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        EXPECT_NE(pages, MAP_FAILED);
        base_ = static_cast<uint8_t*>(pages);
        EXPECT_EQ(mprotect(base_ + page_, page_, PROT_NONE), 0);
        if (size_ > 0) {
            memcpy(data(), bytes.data(), size_);
        }
    }
    ~GuardedBytes()
    {
        munmap(base_, 2 * page_);
    }
    uint8_t* data()
    {
        return base_ + page_ - size_;
    }

   private:
    size_t page_;
    size_t size_;
    uint8_t* base_;
};

// A scratch directory that goes away, with everything in it, with the test.
class TempDir {
   public:
    explicit TempDir(const char* prefix = "ostrel")
    {
        const char* tmpdir = getenv("TMPDIR");
        std::string parent = tmpdir != nullptr && tmpdir[0] != '\0' ? tmpdir : "/tmp";
        std::string pattern = parent + "/" + prefix + "-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        EXPECT_NE(nullptr, mkdtemp(name.data()));
        path_ = name.data();
    }
    ~TempDir()
    {
        // A test may have taken its own rights away from a folder in it.
        std::string command = "chmod -R u+rwX '" + path_ + "' && rm -rf '" + path_ + "'";
        EXPECT_EQ(system(command.c_str()), 0);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const
    {
        return path_;
    }
    // Writes relative (its directories made as needed), dated mtime unless
    // 0; returns the whole path.
    std::string Write(const std::string& relative, const std::string& bytes, int64_t mtime = 0)
    {
        std::string full = path_ + "/" + relative;
        std::string command = "mkdir -p '" + full.substr(0, full.rfind('/')) + "'";
        EXPECT_EQ(system(command.c_str()), 0);
        std::ofstream(full, std::ios::binary) << bytes;
        if (mtime != 0) {
            const auto seconds = static_cast<time_t>(mtime);
            struct timeval times[2] = {{seconds, 0}, {seconds, 0}};
            EXPECT_EQ(utimes(full.c_str(), times), 0);
        }
        return full;
    }

   private:
    std::string path_;
};
