// The system plumbing every part of the Linux layer shares: one owner of a
// descriptor and one of a listed folder, one clock for deadlines, one bound
// on interrupted calls, and one way to read a little-endian field.
#pragma once

#include <dirent.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>

// On a 32-bit target these are 64 bits only as the build asks (CMakeLists.txt):
// without that, a lease ending after 2038 or a folder entry whose inode
// number does not fit in 32 bits is misread.
static_assert(sizeof(time_t) == 8 && sizeof(off_t) == 8 && sizeof(ino_t) == 8,
              "build with _FILE_OFFSET_BITS=64 and _TIME_BITS=64");

// Owns a descriptor: closes it when it goes, or when another takes its place.
class Descriptor {
   public:
    explicit Descriptor(int fd = -1) : fd_(fd)
    {
    }
    ~Descriptor()
    {
        Reset();
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const
    {
        return fd_;
    }
    // Gives the descriptor up to a new owner.
    int Release()
    {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Reset(int fd = -1)
    {
        if (fd_ >= 0) {
            close(fd_);
        }
        fd_ = fd;
    }

   private:
    int fd_;
};

struct DirectoryCloser {
    void operator()(DIR* dir) const
    {
        closedir(dir);
    }
};
using Directory = std::unique_ptr<DIR, DirectoryCloser>;

// Milliseconds on a clock that never jumps.
inline int64_t MonotonicMilliseconds()
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

// A signal storm must not keep us issuing a call for ever.
constexpr int kMaxInterruptions = 100;

// Issues call until it answers anything but -1 with EINTR, at most
// kMaxInterruptions times; its last answer, errno as it left it.
template <typename Call>
auto RetryInterrupted(Call call) -> decltype(call())
{
    decltype(call()) result = -1;
    for (int attempt = 0; attempt < kMaxInterruptions; attempt++) {
        result = call();
        if (result >= 0 || errno != EINTR) {
            break;
        }
    }
    return result;
}

inline uint16_t ReadLittle16(const uint8_t* at)
{
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

inline uint32_t ReadLittle32(const uint8_t* at)
{
    return ReadLittle16(at) | static_cast<uint32_t>(ReadLittle16(at + 2)) << 16;
}

// Whether a failure loses facts that are there: running short of
// descriptors or memory, a failing disk, or a signal storm that outlasts
// the retries. Such a failure fails the query, or it would give a quieter,
// wrong answer; any other failure means the fact is not there.
inline bool LosesFacts(int error)
{
    return error == EMFILE || error == ENFILE || error == ENOMEM || error == EIO || error == EINTR;
}
