// The plumbing every part of the Linux layer shares: owners of a descriptor
// and of a folder, a clock, a bound on interrupted calls, a whole-file
// reader, numbers out of bytes or digits, and which failures count.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

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

// A clock's reading in units of 1/perSecond of a second (100, 1000).
inline int64_t ReadClock(clockid_t clock, int64_t perSecond)
{
    timespec now = {};
    clock_gettime(clock, &now);
    return int64_t{now.tv_sec} * perSecond + now.tv_nsec / (1000000000 / perSecond);
}

// Milliseconds on a clock that never jumps.
inline int64_t MonotonicMilliseconds()
{
    return ReadClock(CLOCK_MONOTONIC, 1000);
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

// Reads what is left of the file open at fd into *bytes: 0, EFBIG when
// more than limit bytes are left (never a cut text), or read's errno; on
// a failure *bytes holds what was read.
inline int ReadToEnd(int fd, size_t limit, std::string* bytes)
{
    size_t have = 0;
    for (;;) {
        // One byte beyond the limit tells a file that is longer.
        bytes->resize(std::min(limit + 1, std::max<size_t>(4096, 2 * have)));
        ssize_t got =
            RetryInterrupted([&] { return read(fd, &(*bytes)[have], bytes->size() - have); });
        int error = got < 0 ? errno : 0;
        have += got > 0 ? static_cast<size_t>(got) : 0;
        if (got <= 0 || have > limit) {
            bytes->resize(have);
            return have > limit ? EFBIG : error;
        }
    }
}

// Opens the regular file name under folder (a directory's descriptor, or
// AT_FDCWD) into *fd, its status into *info: 0, ENXIO when it is no regular
// file, or the failed look's or open's errno. A symlink, FIFO or device of
// that name is never opened, and the name is looked at again through the
// descriptor, in case it changed between.
inline int OpenRegularFile(int folder, const char* name, Descriptor* fd, struct stat* info)
{
    struct stat named;
    if (fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno;
    }
    if (S_ISREG(named.st_mode)) {
        fd->Reset(openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
        if (fd->get() < 0 || fstat(fd->get(), info) != 0) {
            return errno;
        }
    }
    bool same = fd->get() >= 0 && info->st_ino == named.st_ino && info->st_dev == named.st_dev;
    return same && S_ISREG(info->st_mode) && info->st_size >= 0 ? 0 : ENXIO;
}

// Reads the regular file name under folder whole into *bytes: 0, EFBIG when
// it holds more than limit bytes, or OpenRegularFile's or the read's error.
inline int ReadWholeFile(int folder, const char* name, size_t limit, std::string* bytes)
{
    Descriptor fd;
    struct stat info;
    int error = OpenRegularFile(folder, name, &fd, &info);
    return error != 0 ? error : ReadToEnd(fd.get(), limit, bytes);
}

inline uint16_t ReadLittle16(const uint8_t* at)
{
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

inline uint32_t ReadLittle32(const uint8_t* at)
{
    return ReadLittle16(at) | static_cast<uint32_t>(ReadLittle16(at + 2)) << 16;
}

inline uint32_t ReadBig32(const uint8_t* at)
{
    return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | at[3];
}

// Decimal digits only, no sign, no more than max. 0, EBADMSG when the text
// is not digits only, ERANGE when its number is above max.
inline int ParseDecimal(std::string_view text, uint64_t max, uint64_t* value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return EBADMSG;
    }
    uint64_t result = 0;
    for (char c : text) {
        uint64_t digit = static_cast<uint64_t>(c - '0');
        if (digit > max || result > (max - digit) / 10) {
            return ERANGE;
        }
        result = result * 10 + digit;
    }
    *value = result;
    return 0;
}

// Whether a failure loses facts that are there: running short of
// descriptors or memory, a failing disk, or a signal storm that outlasts
// the retries. Such a failure fails the query, or it would give a quieter,
// wrong answer; any other failure means the fact is not there.
inline bool LosesFacts(int error)
{
    return error == EMFILE || error == ENFILE || error == ENOMEM || error == EIO || error == EINTR;
}
