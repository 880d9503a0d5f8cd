// Feeds arbitrary files to the version lookup the way the tool meets them:
// the bytes become "Ostrel.exe" in a private folder whose "Ostrel" is this
// fuzzer's own executable, which carries the build's record. Whatever the
// ".exe" file holds, the lookup must end with a record: its own when it is
// sound, otherwise the one of the name without ".exe".
// Seeds (fuzz/make_version_seeds.py makes them at build time): a copy of the
// native build cut down to a few sections, objects of both classes and byte
// orders holding the resources, the head of a Windows executable, truncated
// copies, a copy whose FileVersion node is binary.
#include <fcntl.h>
#include <limits.h>
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

static std::string folder;

static void RemoveFolder()
{
    unlink((folder + "/Ostrel.exe").c_str());
    unlink((folder + "/Ostrel").c_str());
    rmdir(folder.c_str());
}

// A folder that cannot be set up is the machine's fault, not a finding: the
// reason goes to standard error and the run stops before any input.
static void FailSetup(const char* what, const std::string& path)
{
    fprintf(stderr, "fuzz_version_file: setup failed: %s %s: %s\n", what, path.c_str(),
            strerror(errno));
    exit(2);
}

// Memory-backed /dev/shm keeps the file writes cheap; a machine whose
// /dev/shm is missing or read-only has the temporary folder instead.
static bool MakeFolder(const std::string& parent)
{
    std::string pattern = parent + "/ostrel_fuzz_version_XXXXXX";
    if (mkdtemp(&pattern[0]) == NULL) {
        return false;
    }
    folder = pattern;
    return true;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char self[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (length <= 0) {
        FailSetup("reading the link", "/proc/self/exe");
    }
    self[length] = '\0';
    const char* tmpdir = getenv("TMPDIR");
    std::string fallback = tmpdir != NULL && tmpdir[0] != '\0' ? tmpdir : "/tmp";
    if (!MakeFolder("/dev/shm") && !MakeFolder(fallback)) {
        FailSetup("making a folder in /dev/shm and in", fallback);
    }
    atexit(RemoveFolder);
    if (symlink(self, (folder + "/Ostrel").c_str()) != 0) {
        FailSetup("linking to the fuzzer from", folder);
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
    std::string exe = folder + "/Ostrel.exe";
    int fd = open(exe.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || write(fd, data, size) != (ssize_t)size) {
        abort();
    }
    std::vector<uint8_t> record;
    int error = ReadElfVersionRecord(fd, &record);
    close(fd);
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

    DWORD blockSize = GetFileVersionInfoSizeA(exe.c_str(), NULL);
    if (blockSize == 0 || (own && blockSize != VersionBlockSize(record.size()))) {
        abort();
    }
    std::vector<uint8_t> block(blockSize);
    if (!GetFileVersionInfoA(exe.c_str(), 0, blockSize, block.data())) {
        abort();
    }
    std::string version = QueryFileVersion(&block);
    if (!own && version != "1, 0, 0, 2") {
        abort();
    }
    return 0;
}
