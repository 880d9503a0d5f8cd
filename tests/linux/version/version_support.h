// What the version tests share: the compiled record and the walk that finds
// it, the ELF types of the build, and the executable in a scratch folder.
#pragma once

#include <elf.h>
#include <gtest/gtest.h>
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "byte_reader.h"
#include "descriptor_count.h"
#include "resource_walk.h"
#include "test_support.h"
#include "version_file.h"
#include "version_record.h"

typedef std::vector<uint8_t> Bytes;

// The build reads ELF files of its own class and byte order only: those
// the tests make are of the same, written through the native structures.
using ElfHeader = ElfW(Ehdr);
using SectionHeader = ElfW(Shdr);
const uint8_t kElfClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
const uint8_t kElfData = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;

// A native integer of 2, 4 or 8 bytes at offset.
inline uint64_t GetField(const uint8_t* at, size_t width)
{
    uint16_t half = 0;
    uint32_t word = 0;
    uint64_t wide = 0;
    return width == 2   ? (memcpy(&half, at, 2), half)
           : width == 4 ? (memcpy(&word, at, 4), word)
                        : (memcpy(&wide, at, 8), wide);
}

inline Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const Bytes& data)
{
    std::ofstream(path, std::ios::binary)
        .write((const char*)data.data(), (std::streamsize)data.size());
}

// The version entry's data among the first size bytes of a .res image,
// read the way the tool reads its section. Returns 0 or the walk's error.
inline int FindInRes(const Bytes& res, size_t size, Bytes* record)
{
    int fd = memfd_create("res", MFD_CLOEXEC);
    EXPECT_EQ(write(fd, res.data(), size), (ssize_t)size);
    ByteReader reader(fd, size);
    uint64_t data = 0, length = 0;
    int error = FindVersionEntry(&reader, 0, size, &data, &length);
    record->resize(error == 0 ? (size_t)length : 0);
    EXPECT_EQ(0, reader.Read(data, record->size(), record->data()));
    close(fd);
    return error;
}

inline Bytes CompiledRecord()
{
    Bytes res = ReadFile(OSTREL_RES_FILE), record;
    EXPECT_EQ(0, FindInRes(res, res.size(), &record));
    return record;
}

inline void PutWords(Bytes* record, size_t offset, const std::vector<uint16_t>& words)
{
    for (uint16_t word : words) {
        (*record)[offset++] = (uint8_t)word;
        (*record)[offset++] = (uint8_t)(word >> 8);
    }
}

// Offset of the node whose key is the given ASCII text.
inline size_t NodeAt(const Bytes& record, const char* key)
{
    Bytes wide(2 * strlen(key) + 2);
    PutWords(&wide, 0, std::vector<uint16_t>(key, key + strlen(key)));
    auto found = std::search(record.begin(), record.end(), wide.begin(), wide.end());
    EXPECT_NE(found, record.end()) << key;
    return (size_t)(found - record.begin()) - 6;
}

// Queries a block made from the record the way GetFileVersionInfoA makes
// it, with nothing writable after it.
struct Block {
    explicit Block(const Bytes& record)
    {
        size_t length = 0;
        if (MeasureVersionRecord(record.data(), record.size(), &length) == 0) {
            guarded.reset(new GuardedBytes(Bytes(VersionBlockSize(length))));
            bytes = guarded->data();
            FillVersionBlock(record.data(), length, bytes);
        }
    }
    bool Query(const char* path, const char** value, UINT* length = NULL)
    {
        UINT ignored = 0;
        return bytes != NULL &&
               QueryVersionBlock(bytes, path, (void**)value, length != NULL ? length : &ignored);
    }
    std::string Text(const char* path)
    {
        const char* value = NULL;
        return Query(path, &value) ? value : "<none>";
    }
    std::unique_ptr<GuardedBytes> guarded;
    uint8_t* bytes = NULL;
};

const char kFileVersion[] = "\\StringFileInfo\\000004B0\\FileVersion";
// What VersionFile::FileVersion gives: the record's, or without one, by the
// last error: ERROR_FILE_NOT_FOUND, ERROR_RESOURCE_DATA_NOT_FOUND.
const char kRecord[] = "1, 0, 0, 2", kNoFile[] = "<none 2>", kNoRecord[] = "<none 1812>";

class VersionFile : public ::testing::Test {
   protected:
    void SetUp() override
    {
        exe = ReadFile(OSTREL_EXE);
        ASSERT_GT(exe.size(), 64u);
    }
    std::string Write(const char* name, const Bytes& data)
    {
        std::string path = dir + "/" + name;
        WriteFile(path, data);
        return path;
    }
    std::string FileVersion(const std::string& name)
    {
        DescriptorsKept kept;
        DWORD handle = 1;
        DWORD size = GetFileVersionInfoSizeA(name.c_str(), &handle);
        EXPECT_EQ(handle, 0u);
        if (size == 0) {
            return "<none " + std::to_string(GetLastError()) + ">";
        }
        std::vector<uint8_t> block(size);
        void* value = NULL;
        UINT length = 0;
        if (!GetFileVersionInfoA(name.c_str(), 0, size, block.data()) ||
            !VerQueryValueA(block.data(), kFileVersion, &value, &length)) {
            return "<unreadable>";
        }
        return (const char*)value;
    }
    // What FileVersion would give if the file at running were the one that
    // runs.
    std::string RunningVersion(const std::string& running, const std::string& name = "")
    {
        std::vector<uint8_t> record;
        int error = FindNamedVersionRecord(name.c_str(), running.c_str(), &record);
        return error == ENOENT    ? kNoFile
               : error == ENODATA ? kNoRecord
               : error != 0       ? "<errno " + std::to_string(error) + ">"
                                  : Block(record).Text(kFileVersion);
    }
    uint64_t Field(size_t offset, size_t width)
    {
        return GetField(&exe[offset], width);
    }
    TempDir scratch{"ostrel_version"};
    std::string dir = scratch.path();
    Bytes exe;
};
