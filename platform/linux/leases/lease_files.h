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
};

// What one pass over the stores may still read, and the failure that ended
// it early.
struct ReadBudget {
    size_t bytesLeft = kLeaseReadLimit;
    int error = 0;
};

// Reads dir/name whole into file. False when it holds no lease to read; a
// failure that loses leases that are there goes to budget.error.
bool ReadLeaseFile(const std::string& dir, std::string_view name, ReadBudget& budget,
                   LeaseFile* file);

bool HasPrefix(std::string_view text, std::string_view prefix);
