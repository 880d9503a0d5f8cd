// Feeds arbitrary files to the version lookup as the running executable:
// the bytes fill a memory file that stands in for /proc/self/exe. Whatever
// it holds, the lookup must give the record the ELF reader finds in it, or
// no record; a path that leads elsewhere must never be read. The fuzzer
// carries the build's record, which the tool's own functions must find.
// Seeds (fuzz/make_version_seeds.py makes them at build time): a copy of the
// native build cut down to a few sections, objects of both classes and byte
// orders holding the resources, the head of a Windows executable, truncated
// copies, a copy whose FileVersion node is binary.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "os_api.h"
#include "version_file.h"
#include "version_record.h"

static const char kFileVersion[] = "\\StringFileInfo\\000004B0\\FileVersion";

static std::string QueryFileVersion(std::vector<uint8_t>* block);

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    DWORD size = GetFileVersionInfoSizeA("Ostrel.exe", NULL);
    std::vector<uint8_t> block(size);
    if (size == 0 || !GetFileVersionInfoA("", 0, size, block.data()) ||
        QueryFileVersion(&block) != "1, 0, 0, 2") {
        fprintf(stderr, "fuzz_version_file: setup failed: no record in the fuzzer itself\n");
        exit(2);
    }
    return 0;
}

// The text the block holds under the banner's key, or "" without one. A
// text node must come back converted and terminated; a binary node comes
// back as the platform gives it, its raw bytes in the record with their
// byte count, so only its length bounds it.
static std::string QueryFileVersion(std::vector<uint8_t>* block)
{
    void* value = NULL;
    UINT length = 0;
    if (!VerQueryValueA(block->data(), kFileVersion, &value, &length)) {
        return std::string();
    }
    const uint8_t* at = (const uint8_t*)value;
    size_t recordLength = (size_t)((*block)[0] | (*block)[1] << 8);
    VersionValue found;
    if (at < block->data() || length > block->size() ||
        (size_t)(at - block->data()) > block->size() - length ||
        FindVersionValue(block->data(), recordLength, kFileVersion, &found) != 0) {
        abort();
    }
    if (!found.text) {
        if (at != block->data() + found.offset || length != found.size) {
            abort();
        }
        return std::string((const char*)at, strnlen((const char*)at, length));
    }
    if (length == 0 || at[length - 1] != '\0') {
        abort();
    }
    return std::string((const char*)at);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int fd = memfd_create("Ostrel", MFD_CLOEXEC);
    if (fd < 0 || write(fd, data, size) != (ssize_t)size) {
        abort();
    }
    std::vector<uint8_t> record;
    int error = ReadElfVersionRecord(fd, &record);
    bool own = error == 0;
    size_t measured = 0;
    if (own && (record.size() > kMaxVersionRecordSize ||
                MeasureVersionRecord(record.data(), record.size(), &measured) != 0 ||
                measured != record.size())) {
        abort();
    }
    // The file is whole before it is read, so no read fails: only its own
    // faults remain.
    if (error != 0 && error != ENOENT && error != EBADMSG && error != EOVERFLOW) {
        abort();
    }

    std::string running = "/proc/self/fd/" + std::to_string(fd);
    std::vector<uint8_t> found;
    error = FindNamedVersionRecord("Ostrel.exe", running.c_str(), &found);
    if (error != (own ? 0 : ENODATA) || found != record ||
        FindNamedVersionRecord("/proc/self/exe", running.c_str(), &found) != ENOENT) {
        abort();
    }
    close(fd);
    if (!own) {
        return 0;
    }
    std::vector<uint8_t> block(VersionBlockSize(record.size()));
    FillVersionBlock(record.data(), record.size(), block.data());
    QueryFileVersion(&block);
    return 0;
}
