// The lease stores' directories listed and their files read, through
// calls that tests may replace.
#include "lease_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>

#include "text_fields.h"

namespace {

struct DirCloser {
    void operator()(DIR* dir) const
    {
        closedir(dir);
    }
};

struct FdOwner {
    int fd;
    ~FdOwner()
    {
        if (fd >= 0) {
            close(fd);
        }
    }
};

int OpenForReading(const char* path, int flags)
{
    return open(path, flags);
}

LeaseFileCalls calls = {opendir, readdir, OpenForReading, read};

// A signal storm must not keep us re-issuing a call for ever.
constexpr int kMaxInterruptions = 100;

// Reads what fd has, up to size bytes, into *got: 0 or read's errno.
int ReadInterrupted(int fd, char* buffer, size_t size, size_t* got)
{
    int error = EINTR;
    for (int attempt = 0; attempt < kMaxInterruptions && error == EINTR; attempt++) {
        ssize_t count = calls.readFile(fd, buffer, size);
        if (count >= 0) {
            *got = static_cast<size_t>(count);
            return 0;
        }
        error = errno;
    }
    return error;
}

// What keeps a file from us: a failure that loses its lease, or not being
// ours to read, is passed on; anything else (gone since the listing, a
// socket or device) means it holds none.
int NoLeaseUnlessLost(int error)
{
    return LosesLeases(error) || error == EACCES ? error : ENOENT;
}

// What keeps a store's folder from being listed: nothing when it is
// absent or not ours, which leaves it empty, or the errno value of a
// failure that hides entries that are there.
int NoListing(int error)
{
    bool absent = error == ENOENT || error == ENOTDIR || error == ELOOP;
    return absent || error == EACCES || error == EPERM ? 0 : error;
}

// Lists a store's directory, no further than kLeaseEntryLimit entries.
// Returns 0, or the errno value of a failure that hides entries that are
// there. A store that is absent or not ours to read has none.
int ListDirectory(const std::string& path, const std::function<void(std::string_view name)>& visit)
{
    // A store's folder may sit in one a service account owns, which could
    // put a symlink to any folder in its place; only one root made is
    // followed.
    struct stat named;
    if (lstat(path.c_str(), &named) != 0) {
        return NoListing(errno);
    }
    if (S_ISLNK(named.st_mode) && (named.st_uid != 0 || stat(path.c_str(), &named) != 0)) {
        return named.st_uid != 0 ? 0 : NoListing(errno);
    }
    errno = 0;
    std::unique_ptr<DIR, DirCloser> dir(calls.openDirectory(path.c_str()));
    if (!dir) {
        return NoListing(errno);
    }
    struct stat opened;
    if (fstat(dirfd(dir.get()), &opened) != 0 || opened.st_ino != named.st_ino ||
        opened.st_dev != named.st_dev) {
        return 0;  // not the folder we looked at
    }
    for (size_t seen = 0; seen < kLeaseEntryLimit; seen++) {
        errno = 0;
        const dirent* entry = calls.readDirectory(dir.get());
        if (entry == nullptr) {
            // A directory removed while we list it has simply ended.
            return errno == ENOENT ? 0 : errno;
        }
        visit(entry->d_name);
    }
    return 0;
}

bool HasSuffix(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::string JoinRoot(const std::string& root, std::string_view relative)
{
    std::string path = root;
    while (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    path += relative;
    return path;
}

// Lists the files of a store that names each by an interface index alone.
int ListIndexedFiles(const std::string& path, std::vector<std::pair<uint32_t, std::string>>* files)
{
    return ListDirectory(path, [files](std::string_view name) {
        uint64_t index = 0;
        if (ParseDecimal(name, UINT32_MAX, &index) == 0) {
            files->emplace_back(static_cast<uint32_t>(index), name);
        }
    });
}
}  // namespace

bool HasPrefix(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

// Running short of descriptors or memory, a failing disk, or a signal
// storm that outlasts the retries.
bool LosesLeases(int error)
{
    return error == EMFILE || error == ENFILE || error == ENOMEM || error == EIO || error == EINTR;
}

// Only regular files: a FIFO or device must not block or feed us forever,
// nor a device be opened at all, and a symlink put in a folder a service
// account owns could point anywhere. The name is looked at before it is
// opened, and the descriptor again after, in case the name changed between.
// The bytes go straight into the file's own buffer, sized from the file, so
// no large block ever sits on the stack.
int ReadLeaseFile(const std::string& dir, std::string_view name, ReadBudget& budget,
                  LeaseFile* file, Oversize oversize)
{
    if (budget.bytesLeft == 0) {
        return ENOENT;
    }
    std::string path = dir;
    path += '/';
    path += name;
    struct stat named;
    if (lstat(path.c_str(), &named) != 0) {
        return NoLeaseUnlessLost(errno);
    }
    if (!S_ISREG(named.st_mode)) {
        return ENOENT;
    }
    FdOwner owner{
        calls.openFile(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
    if (owner.fd < 0) {
        return NoLeaseUnlessLost(errno);
    }
    struct stat info;
    if (fstat(owner.fd, &info) != 0) {
        return NoLeaseUnlessLost(errno);
    }
    if (!S_ISREG(info.st_mode) || info.st_ino != named.st_ino || info.st_dev != named.st_dev ||
        info.st_size < 0) {
        return ENOENT;
    }
    uint64_t size = static_cast<uint64_t>(info.st_size);
    file->partial = size > kLeaseFileLimit;
    if (file->partial) {
        if (oversize == Oversize::kSkip) {
            return ENOENT;
        }
        if (lseek(owner.fd, static_cast<off_t>(size - kLeaseFileLimit), SEEK_SET) < 0) {
            return NoLeaseUnlessLost(errno);
        }
        size = kLeaseFileLimit;
    }
    size_t limit = std::min(kLeaseFileLimit, budget.bytesLeft);
    if (size > limit) {
        budget.bytesLeft = 0;  // the rest of the stores stay unread
        return ENOENT;
    }
    file->mtime = info.st_mtim.tv_sec;
    // One byte beyond the size tells a file that grew since fstat.
    file->bytes.resize(static_cast<size_t>(size) + 1);
    size_t have = 0;
    for (;;) {
        size_t got = 0;
        int error = ReadInterrupted(owner.fd, &file->bytes[have], file->bytes.size() - have, &got);
        if (error != 0) {
            return NoLeaseUnlessLost(error);
        }
        if (got == 0) {
            break;
        }
        have += got;
        if (have == file->bytes.size()) {
            if (have > limit) {
                budget.bytesLeft -= std::min(have, budget.bytesLeft);
                return ENOENT;  // grew past the limit while we read it
            }
            file->bytes.resize(std::min(2 * have, limit + 1));
        }
    }
    file->bytes.resize(have);
    budget.bytesLeft -= have;
    return 0;
}

int ListLeaseStores(const std::string& root, LeaseStoreFiles* found)
{
    LeaseStoreFiles& stores = *found;
    stores = LeaseStoreFiles{};
    stores.networkdDir = JoinRoot(root, "/run/systemd/netif/leases");
    stores.dhclientDir = JoinRoot(root, "/var/lib/dhcp");
    stores.networkManagerDir = JoinRoot(root, "/var/lib/NetworkManager");
    stores.dhcpcdDir = JoinRoot(root, "/var/lib/dhcpcd");
    stores.networkManagerStateDir = JoinRoot(root, "/run/NetworkManager/devices");
    stores.dhcpcdRunDir = JoinRoot(root, "/run/dhcpcd");
    int error = ListIndexedFiles(stores.networkdDir, &stores.networkd);
    if (error == 0) {
        error = ListDirectory(stores.dhclientDir, [&](std::string_view name) {
            if (HasPrefix(name, "dhclient") && HasSuffix(name, ".leases")) {
                stores.dhclient.emplace_back(name);
            }
        });
    }
    if (error == 0) {
        error = ListDirectory(stores.networkManagerDir, [&](std::string_view name) {
            if ((HasPrefix(name, "dhclient-") || HasPrefix(name, "internal-")) &&
                HasSuffix(name, ".lease")) {
                stores.networkManager.emplace_back(name);
            }
        });
    }
    // Not the IPv6 .lease6 files.
    if (error == 0) {
        error = ListIndexedFiles(stores.networkManagerStateDir, &stores.networkManagerState);
    }
    if (error == 0) {
        error = ListDirectory(stores.dhcpcdDir, [&](std::string_view name) {
            if (HasSuffix(name, ".lease")) {
                stores.dhcpcd.emplace_back(name);
            }
        });
    }
    return error;
}

LeaseFileCalls SetLeaseFileCalls(const LeaseFileCalls& replacement)
{
    LeaseFileCalls before = calls;
    calls.openDirectory = replacement.openDirectory ? replacement.openDirectory : opendir;
    calls.readDirectory = replacement.readDirectory ? replacement.readDirectory : readdir;
    calls.openFile = replacement.openFile ? replacement.openFile : OpenForReading;
    calls.readFile = replacement.readFile ? replacement.readFile : read;
    return before;
}
