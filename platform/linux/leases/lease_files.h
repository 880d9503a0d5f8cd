// Reading the lease stores' files: each file whole and bounded, every
// read counted against one budget.
#pragma once

#include <dirent.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "leases.h"

struct LeaseFile {
    std::string bytes;
    int64_t mtime = 0;
    bool partial = false;  // bytes are the last kLeaseFileLimit of a larger file
};

// What becomes of a file above kLeaseFileLimit bytes.
enum class Oversize {
    kSkip,
    kReadLast,  // its last kLeaseFileLimit bytes are read: an append-only file's newest
};

// What one pass over the stores may still read.
struct ReadBudget {
    size_t bytesLeft = kLeaseReadLimit;
};

// Reads the file name of the store folder open as folder whole into *file,
// counting it against budget. Returns 0; ENOENT when it is gone since it
// was listed; EACCES when it is not ours to read; ENXIO when it is no
// regular file (a symlink, device or FIFO, which is never opened); EFBIG
// when it is above kLeaseFileLimit bytes, unless oversize says otherwise;
// ENOSPC when it would take the budget past its end; or the errno value
// of a failure that loses a lease that is there, which LosesFacts tells.
int ReadLeaseFile(DIR* folder, std::string_view name, ReadBudget& budget, LeaseFile* file,
                  Oversize oversize = Oversize::kSkip);

// Opens the folder name of the store folder open as folder into *inner,
// never through a link and only when the store folder's owner owns it.
// Returns 0; ENOENT when it is gone; EACCES when it is not ours to read;
// ENXIO when it is no folder, a link or another owner's; or the errno value
// of a failure that loses a lease that is there, which LosesFacts tells.
int OpenLeaseFolder(DIR* folder, std::string_view name, Directory* inner);
