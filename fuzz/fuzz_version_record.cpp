// Feeds arbitrary bytes to the version record walker, both directly and as
// a block made the way GetFileVersionInfoA makes one, and to the .res
// entry parser.
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "byte_reader.h"
#include "resource_walk.h"
#include "version_record.h"

static const char* const kPaths[] = {
    "\\",
    "\\StringFileInfo\\000004B0\\FileVersion",
    "\\StringFileInfo\\000004b0\\ProductName",
    "StringFileInfo\\\\000004B0\\Comments\\",
    "\\VarFileInfo\\Translation",
    "\\StringFileInfo",
};

static void QueryBlock(const uint8_t* record, size_t length)
{
    std::vector<uint8_t> block(VersionBlockSize(length));
    FillVersionBlock(record, length, block.data());
    for (const char* path : kPaths) {
        void* value = NULL;
        UINT valueLength = 0;
        if (!QueryVersionBlock(block.data(), path, &value, &valueLength)) {
            continue;
        }
        const uint8_t* at = (const uint8_t*)value;
        if (at < block.data() || at + valueLength > block.data() + block.size()) {
            abort();
        }
    }
}

// Only the documented failures come back.
static void CheckFailure(int error, int other)
{
    if (error != 0 && error != EBADMSG && error != other) {
        abort();
    }
}

static void MeasureAndQuery(const uint8_t* data, size_t size)
{
    size_t length = 0;
    int error = MeasureVersionRecord(data, size, &length);
    CheckFailure(error, EBADMSG);
    if (error == 0) {
        QueryBlock(data, length);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (const char* path : kPaths) {
        VersionValue value;
        int error = FindVersionValue(data, size, path, &value);
        CheckFailure(error, ENOENT);
        if (error == 0 && (value.offset > size || value.size > size - value.offset)) {
            abort();
        }
    }
    MeasureAndQuery(data, size);
    // The .res walk reads a file, as it reads the executable's section.
    int fd = memfd_create("res", MFD_CLOEXEC);
    if (fd < 0 || write(fd, data, size) != (ssize_t)size) {
        abort();
    }
    ByteReader res(fd, size);
    uint64_t entry = 0;
    uint64_t entrySize = 0;
    int error = FindVersionEntry(&res, 0, size, &entry, &entrySize);
    close(fd);
    CheckFailure(error, ENOENT);
    if (error == 0) {
        if (entry > size || entrySize > size - entry) {
            abort();
        }
        MeasureAndQuery(data + entry, (size_t)entrySize);
    }
    return 0;
}
