// The file a name stands for, found as the platform's library search
// finds it, and its version record.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "version_file.h"

namespace {

// The name may have been swapped for a FIFO or a device since the search
// looked at it: opening must neither wait for a writer nor make a terminal
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

std::string OwnDirectory()
{
    char target[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", target, sizeof(target) - 1);
    if (length <= 0) {
        return std::string();
    }
    std::string path(target, static_cast<size_t>(length));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Returns 0 or ENOENT when no place holds a regular file of that name.
int SearchBareName(const std::string& name, std::string* path)
{
    std::vector<std::string> places;
    std::string own = OwnDirectory();
    if (!own.empty()) {
        places.push_back(own);
    }
    places.push_back("./");
    const char* search = getenv("PATH");
    if (search != nullptr) {
        std::string list(search);
        size_t start = 0;
        while (start <= list.size()) {
            size_t colon = list.find(':', start);
            std::string entry =
                list.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
            places.push_back(entry.empty() ? "./" : entry + "/");
            if (colon == std::string::npos) {
                break;
            }
            start = colon + 1;
        }
    }
    for (const std::string& place : places) {
        if (IsRegularFile(place + name)) {
            *path = place + name;
            return 0;
        }
    }
    return ENOENT;
}

// Returns 0 or ENOENT when the name stands for no regular file.
int SearchName(const std::string& name, std::string* path)
{
    if (name.empty()) {
        return ENOENT;
    }
    if (name.find('/') != std::string::npos) {
        if (!IsRegularFile(name)) {
            return ENOENT;
        }
        *path = name;
        return 0;
    }
    return SearchBareName(name, path);
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
    std::string wanted(name, length);
    bool another = EndsWithExe(wanted);
    int result = ENOENT;
    while (true) {
        std::string path;
        if (SearchName(wanted, &path) == 0) {
            // Whatever keeps the file found from giving a record (it cannot
            // be opened, is damaged, or was swapped since), it has none.
            result = ENODATA;
            FileOwner file(open(path.c_str(), kOpenFlags));
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
