// The running executable, when a name leads back to it, and its version
// record.
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "posix.h"
#include "version_file.h"

namespace {

// Whether the file at path is the one open at running. The path is only
// compared, never read: O_PATH acts on no device or FIFO, and following a
// link to wherever it points shows nothing of that file but whether it is
// this one, so the package's lowercase link run by its path still leads
// back. Returns 0, ENOENT when nothing (or another file) is there, or the
// errno value of a failure that keeps the answer from us.
int IsRunningFile(const std::string& path, const struct stat& running)
{
    Descriptor named(open(path.c_str(), O_PATH | O_CLOEXEC));
    struct stat info;
    if (named.get() < 0 || fstat(named.get(), &info) != 0) {
        return LosesFacts(errno) ? errno : ENOENT;
    }
    return info.st_dev == running.st_dev && info.st_ino == running.st_ino ? 0 : ENOENT;
}

}  // namespace

int FindNamedVersionRecord(const char* name, const char* running, std::vector<uint8_t>* record)
{
    if (name == nullptr) {
        return ENOENT;
    }
    // A longer name cut to fit could name some other file.
    size_t length = strnlen(name, PATH_MAX);
    if (length == PATH_MAX) {
        return ENOENT;
    }
    // Not waiting for a writer nor making a terminal ours, should running
    // be no executable.
    Descriptor file(open(running, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat info;
    if (file.get() < 0 || fstat(file.get(), &info) != 0) {
        return errno;
    }
    // Whoever starts the tool chooses the name, and exec -a may hand on
    // any: only the file that runs is ever read. A bare name or none is it
    // (a shell hands on the bare name it found through PATH); a path names
    // it only when it, or it without ".exe" (the Windows build may sit
    // beside this one), is that very file.
    if (memchr(name, '/', length) != nullptr) {
        std::string path(name, length);
        int named = IsRunningFile(path, info);
        if (named == ENOENT && length >= 4 && strcasecmp(name + length - 4, ".exe") == 0) {
            path.resize(length - 4);
            named = IsRunningFile(path, info);
        }
        if (named != 0) {
            return named;
        }
    }
    // Whatever else keeps the file from giving a record (it is damaged, or
    // no executable at all), it has none.
    int result = ReadElfVersionRecord(file.get(), record);
    return result == 0 || LosesFacts(result) ? result : ENODATA;
}
