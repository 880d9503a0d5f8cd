// The file a name stands for and its version record.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "version_file.h"

namespace {

// The name may have been swapped for a FIFO or a device since it was
// looked at: opening must neither wait for a writer nor make a terminal
// ours.
const int kOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;

class FileOwner {
   public:
    explicit FileOwner(int fd) : fd_(fd)
    {
    }
    ~FileOwner()
    {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    FileOwner(const FileOwner&) = delete;
    FileOwner& operator=(const FileOwner&) = delete;
    int get() const
    {
        return fd_;
    }

   private:
    int fd_;
};

bool IsRegularFile(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool EndsWithExe(const std::string& name)
{
    if (name.size() < 4) {
        return false;
    }
    return strncasecmp(name.c_str() + name.size() - 4, ".exe", 4) == 0;
}

}  // namespace

int FindNamedVersionRecord(const char* name, std::vector<uint8_t>* record)
{
    if (name == nullptr) {
        return ENOENT;
    }
    // A longer name cut to fit could name some other file.
    size_t length = strnlen(name, PATH_MAX);
    if (length == PATH_MAX) {
        return ENOENT;
    }
    // A shell hands on a bare name when it found the program through PATH,
    // and exec -a may hand on any name, or none: the running program is
    // meant either way. Searching folders for it instead would let whoever
    // writes to the current folder or a PATH entry choose what root opens.
    bool bare = memchr(name, '/', length) == nullptr;
    std::string wanted = bare ? "/proc/self/exe" : std::string(name, length);
    bool another = !bare && EndsWithExe(wanted);
    int result = ENOENT;
    while (true) {
        if (IsRegularFile(wanted)) {
            // Whatever keeps the file found from giving a record (it cannot
            // be opened, is damaged, or was swapped since), it has none.
            result = ENODATA;
            FileOwner file(open(wanted.c_str(), kOpenFlags));
            if (file.get() >= 0 && ReadElfVersionRecord(file.get(), record) == 0) {
                return 0;
            }
        }
        if (!another) {
            return result;
        }
        another = false;
        wanted.resize(wanted.size() - 4);
    }
}
