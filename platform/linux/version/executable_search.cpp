// The file a name stands for and its version record.
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

// The name may have been swapped for a FIFO or a device since it was
// looked at: opening must neither wait for a writer nor make a terminal
// ours.
const int kOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;

bool IsRegularFile(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
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
    // The tool asks for its name with ".exe" added, as on Windows.
    bool another = !bare && length >= 4 && strcasecmp(name + length - 4, ".exe") == 0;
    int result = ENOENT;
    while (true) {
        if (IsRegularFile(wanted)) {
            // Whatever else keeps the file found from giving a record (it
            // cannot be opened, is damaged, or was swapped since), it has
            // none.
            Descriptor file(open(wanted.c_str(), kOpenFlags));
            result = file.get() < 0 ? errno : ReadElfVersionRecord(file.get(), record);
            if (result == 0 || LosesFacts(result)) {
                return result;
            }
            result = ENODATA;
        }
        if (!another) {
            return result;
        }
        another = false;
        wanted.resize(wanted.size() - 4);
    }
}
