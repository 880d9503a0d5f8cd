// The lease stores' directories listed and their files read.
#include "lease_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>

#include "posix.h"
#include "text_fields.h"

namespace {

// What keeps a file from us: a failure that loses its lease, or not being
// ours to read, is passed on; anything else (a socket or device) means it
// holds none.
int NoLeaseUnlessLost(int error)
{
    return LosesFacts(error) || error == EACCES || error == ENOENT ? error : ENXIO;
}

// What keeps a store's folder from being listed: nothing when it is
// absent or not ours, which leaves it empty, or the errno value of a
// failure that hides entries that are there.
int NoListing(int error)
{
    bool absent = error == ENOENT || error == ENOTDIR || error == ELOOP;
    return absent || error == EACCES || error == EPERM ? 0 : error;
}

// Opens a store's folder into *folder and lists it, no further than
// kLeaseEntryLimit entries; its files are later opened through the same
// descriptor, so a folder swapped after the listing is never read. Returns
// 0, or the errno value of a failure that hides entries that are there. A
// store that is absent or not ours to read has none.
int ListDirectory(const std::string& path, Directory* folder,
                  const std::function<void(std::string_view name)>& visit)
{
    // A store's folder may sit in one a service account owns, which could
    // put a symlink to any folder in its place; only one root made is
    // followed.
    struct stat named;
    if (lstat(path.c_str(), &named) != 0) {
        return NoListing(errno);
    }
    bool link = S_ISLNK(named.st_mode);
    if (link && (named.st_uid != 0 || stat(path.c_str(), &named) != 0)) {
        return named.st_uid != 0 ? 0 : NoListing(errno);
    }
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (link ? 0 : O_NOFOLLOW);
    Descriptor opened(open(path.c_str(), flags));
    struct stat info;
    if (opened.get() < 0 || fstat(opened.get(), &info) != 0) {
        return NoListing(errno);
    }
    if (info.st_ino != named.st_ino || info.st_dev != named.st_dev) {
        return 0;  // not the folder we looked at
    }
    folder->reset(fdopendir(opened.get()));
    if (!*folder) {
        return errno;
    }
    opened.Release();
    for (size_t seen = 0; seen < kLeaseEntryLimit; seen++) {
        errno = 0;
        const dirent* entry = readdir(folder->get());
        if (entry == nullptr) {
            // A directory removed while we list it has simply ended.
            return errno == ENOENT ? 0 : errno;
        }
        visit(entry->d_name);
    }
    return 0;
}

// Lists the files of a store that names each by an interface index alone.
int ListIndexedFiles(const std::string& path, Directory* folder,
                     std::vector<std::pair<uint32_t, std::string>>* files)
{
    return ListDirectory(path, folder, [files](std::string_view name) {
        uint64_t index = 0;
        if (ParseDecimal(name, UINT32_MAX, &index) == 0) {
            files->emplace_back(static_cast<uint32_t>(index), name);
        }
    });
}
}  // namespace

// Only regular files: a FIFO or device must not block or feed us forever,
// nor a device be opened at all, and a symlink put in a folder a service
// account owns could point anywhere (OpenRegularFile).
int ReadLeaseFile(DIR* folder, std::string_view name, ReadBudget& budget, LeaseFile* file,
                  Oversize oversize)
{
    if (budget.bytesLeft == 0) {
        return ENOSPC;
    }
    Descriptor owner;
    struct stat info;
    if (int error = OpenRegularFile(dirfd(folder), std::string(name).c_str(), &owner, &info);
        error != 0) {
        return NoLeaseUnlessLost(error);
    }
    uint64_t size = static_cast<uint64_t>(info.st_size);
    file->partial = size > kLeaseFileLimit;
    if (file->partial) {
        if (oversize == Oversize::kSkip) {
            return EFBIG;
        }
        if (lseek(owner.get(), static_cast<off_t>(size - kLeaseFileLimit), SEEK_SET) < 0) {
            return NoLeaseUnlessLost(errno);
        }
        size = kLeaseFileLimit;
    }
    size_t limit = std::min(kLeaseFileLimit, budget.bytesLeft);
    if (size > limit) {
        budget.bytesLeft = 0;  // the rest of the stores stay unread
        return ENOSPC;
    }
    file->mtime = info.st_mtim.tv_sec;
    int error = ReadToEnd(owner.get(), limit, &file->bytes);
    budget.bytesLeft -= std::min(file->bytes.size(), budget.bytesLeft);
    // Grown past the limit while we read it, or failed.
    return error == 0 || error == EFBIG ? error : NoLeaseUnlessLost(error);
}

// A folder another user made in the store could hold a file of theirs
// under the name the store's owner reads.
int OpenLeaseFolder(DIR* folder, std::string_view name, Directory* inner)
{
    std::string path(name);
    Descriptor opened(openat(dirfd(folder), path.c_str(),
                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info, store;
    if (opened.get() < 0 || fstat(opened.get(), &info) != 0 || fstat(dirfd(folder), &store) != 0) {
        return NoLeaseUnlessLost(errno);
    }
    if (info.st_uid != store.st_uid) {
        return ENXIO;
    }
    inner->reset(fdopendir(opened.get()));
    if (!*inner) {
        return NoLeaseUnlessLost(errno);
    }
    opened.Release();
    return 0;
}

int ListLeaseStores(const std::string& root, LeaseStoreFiles* found)
{
    LeaseStoreFiles& stores = *found;
    stores = LeaseStoreFiles{};
    stores.dhcpcdRunDir = root + "/run/dhcpcd";
    int error =
        ListIndexedFiles(root + "/run/systemd/netif/leases", &stores.networkdDir, &stores.networkd);
    if (error == 0) {
        error =
            ListDirectory(root + "/var/lib/dhcp", &stores.dhclientDir, [&](std::string_view name) {
                if (HasPrefix(name, "dhclient") && HasSuffix(name, ".leases")) {
                    stores.dhclient.emplace_back(name);
                }
            });
    }
    if (error == 0) {
        error =
            ListDirectory(root + "/var/lib/NetworkManager", &stores.networkManagerDir,
                          [&](std::string_view name) {
                              if ((HasPrefix(name, "dhclient-") || HasPrefix(name, "internal-")) &&
                                  HasSuffix(name, ".lease")) {
                                  stores.networkManager.emplace_back(name);
                              }
                          });
    }
    // Not the IPv6 .lease6 files.
    if (error == 0) {
        error = ListIndexedFiles(root + "/run/NetworkManager/devices",
                                 &stores.networkManagerStateDir, &stores.networkManagerState);
    }
    if (error == 0) {
        error =
            ListDirectory(root + "/var/lib/dhcpcd", &stores.dhcpcdDir, [&](std::string_view name) {
                if (HasSuffix(name, ".lease")) {
                    stores.dhcpcd.emplace_back(name);
                }
            });
    }
    // A service is named <technology>_<device>_<network...>.
    if (error == 0) {
        error = ListDirectory(root + "/var/lib/connman", &stores.connmanDir,
                              [&](std::string_view name) {
                                  if (name.find('_') != std::string_view::npos) {
                                      stores.connman.emplace_back(name);
                                  }
                              });
    }
    return error;
}
