// Reading the lease stores' files: each file whole and bounded, every
// read counted against one budget.
#pragma once

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

// Reads dir/name whole into *file, counting it against budget. Returns 0;
// EACCES when the file is not ours to read; ENOENT when it holds no lease
// to read otherwise (gone since it was listed, a symlink, device or
// anything but a regular file, which is never opened, above
// kLeaseFileLimit bytes unless oversize says otherwise, or past the
// budget); or the errno value of a failure that loses a lease that is
// there, which LosesLeases tells.
int ReadLeaseFile(const std::string& dir, std::string_view name, ReadBudget& budget,
                  LeaseFile* file, Oversize oversize = Oversize::kSkip);

// Whether a failure of ReadLeaseFile loses a lease that is there (EMFILE,
// ENFILE, ENOMEM, EIO, or EINTR that outlasts the retries): the read of
// the stores must stop, or it would give a quieter, wrong answer.
bool LosesLeases(int error);

bool HasPrefix(std::string_view text, std::string_view prefix);
