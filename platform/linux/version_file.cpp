#include "version_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

const char kResourceSectionName[] = ".ostrel_resources";

namespace {

const size_t kMaxSectionCount = 65535;
const uint16_t kResourceTypeVersion = 16;
const uint16_t kVersionResourceId = 1;

class FileOwner {
   public:
    explicit FileOwner(int fd) : fd_(fd)
    {
    }
    ~FileOwner()
    {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    FileOwner(const FileOwner&) = delete;
    FileOwner& operator=(const FileOwner&) = delete;
    int get() const
    {
        return fd_;
    }

   private:
    int fd_;
};

bool IsRegularFile(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string OwnDirectory()
{
    char target[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", target, sizeof(target) - 1);
    if (length <= 0) {
        return std::string();
    }
    std::string path(target, (size_t)length);
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool SearchBareName(const std::string& name, std::string* path)
{
    std::vector<std::string> places;
    std::string own = OwnDirectory();
    if (!own.empty()) {
        places.push_back(own);
    }
    places.push_back("./");
    const char* search = getenv("PATH");
    if (search != NULL) {
        std::string list(search);
        size_t start = 0;
        while (start <= list.size()) {
            size_t colon = list.find(':', start);
            std::string entry =
                list.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
            places.push_back(entry.empty() ? "./" : entry + "/");
            if (colon == std::string::npos) {
                break;
            }
            start = colon + 1;
        }
    }
    for (const std::string& place : places) {
        if (IsRegularFile(place + name)) {
            *path = place + name;
            return true;
        }
    }
    return false;
}

bool SearchName(const std::string& name, std::string* path)
{
    if (name.empty()) {
        return false;
    }
    if (name.find('/') != std::string::npos) {
        if (!IsRegularFile(name)) {
            return false;
        }
        *path = name;
        return true;
    }
    return SearchBareName(name, path);
}

bool EndsWithExe(const std::string& name)
{
    if (name.size() < 4) {
        return false;
    }
    return strncasecmp(name.c_str() + name.size() - 4, ".exe", 4) == 0;
}

bool ReadExactly(int fd, uint64_t offset, size_t length, uint8_t* out)
{
    size_t done = 0;
    while (done < length) {
        ssize_t got = pread(fd, out + done, length - done, (off_t)(offset + done));
        if (got <= 0) {
            return false;
        }
        done += (size_t)got;
    }
    return true;
}

// Field reader for either ELF class and byte order.
struct ElfLayout {
    bool wide;
    bool bigEndian;

    uint64_t Read(const uint8_t* at, size_t width) const
    {
        uint64_t value = 0;
        for (size_t i = 0; i < width; i++) {
            size_t index = bigEndian ? i : width - 1 - i;
            value = (value << 8) | at[index];
        }
        return value;
    }
    // A field that is 4 bytes in 32-bit files and 8 in 64-bit ones.
    uint64_t ReadWide(const uint8_t* at) const
    {
        return Read(at, wide ? 8 : 4);
    }
};

struct SectionHeader {
    uint32_t name;
    uint32_t type;
    uint64_t offset;
    uint64_t size;
    uint32_t link;
};

const uint32_t kSectionTypeNoBits = 8;

SectionHeader ParseSectionHeader(const ElfLayout& elf, const uint8_t* at)
{
    SectionHeader header;
    header.name = (uint32_t)elf.Read(at, 4);
    header.type = (uint32_t)elf.Read(at + 4, 4);
    if (elf.wide) {
        header.offset = elf.Read(at + 24, 8);
        header.size = elf.Read(at + 32, 8);
        header.link = (uint32_t)elf.Read(at + 40, 4);
    } else {
        header.offset = elf.Read(at + 16, 4);
        header.size = elf.Read(at + 20, 4);
        header.link = (uint32_t)elf.Read(at + 24, 4);
    }
    return header;
}

bool FitsInFile(uint64_t offset, uint64_t size, uint64_t fileSize)
{
    return offset <= fileSize && size <= fileSize - offset;
}

bool NameMatches(const std::vector<uint8_t>& names, uint32_t offset, const char* wanted)
{
    size_t length = strlen(wanted);
    return offset < names.size() && names.size() - offset > length &&
           memcmp(names.data() + offset, wanted, length) == 0 && names[offset + length] == 0;
}

// Skips a TYPE or NAME field of a .res entry header: an ordinal (0xFFFF and
// a word) or a terminated UTF-16 name. Reports the ordinal, or 0 for names.
bool SkipResourceName(const uint8_t* header, size_t headerSize, size_t* pos, uint16_t* ordinal)
{
    if (headerSize - *pos < 2) {
        return false;
    }
    uint16_t first = (uint16_t)(header[*pos] | (header[*pos + 1] << 8));
    if (first == 0xFFFF) {
        if (headerSize - *pos < 4) {
            return false;
        }
        *ordinal = (uint16_t)(header[*pos + 2] | (header[*pos + 3] << 8));
        *pos += 4;
        return true;
    }
    *ordinal = 0;
    while (headerSize - *pos >= 2) {
        bool end = header[*pos] == 0 && header[*pos + 1] == 0;
        *pos += 2;
        if (end) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool ResolveVersionFile(const char* name, std::string* path)
{
    if (name == NULL) {
        return false;
    }
    // A longer name cut to fit could name some other file.
    size_t length = strnlen(name, PATH_MAX);
    if (length == PATH_MAX) {
        return false;
    }
    std::string wanted(name, length);
    if (SearchName(wanted, path)) {
        return true;
    }
    return EndsWithExe(wanted) && SearchName(wanted.substr(0, wanted.size() - 4), path);
}

bool ReadElfSection(const std::string& path, const char* sectionName, std::vector<uint8_t>* data)
{
    FileOwner file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info;
    if (file.get() < 0 || fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    uint64_t fileSize = (uint64_t)info.st_size;
    uint8_t ident[64];
    if (fileSize < 52 || !ReadExactly(file.get(), 0, fileSize < 64 ? 52 : 64, ident) ||
        memcmp(ident,
               "\x7f"
               "ELF",
               4) != 0 ||
        (ident[4] != 1 && ident[4] != 2) || (ident[5] != 1 && ident[5] != 2)) {
        return false;
    }
    ElfLayout elf{ident[4] == 2, ident[5] == 2};
    if (elf.wide && fileSize < 64) {
        return false;
    }
    uint64_t tableOffset = elf.ReadWide(ident + (elf.wide ? 40 : 32));
    const uint8_t* counts = ident + (elf.wide ? 58 : 46);
    size_t entrySize = (size_t)elf.Read(counts, 2);
    uint64_t count = elf.Read(counts + 2, 2);
    uint32_t namesIndex = (uint32_t)elf.Read(counts + 4, 2);
    size_t minimumEntry = elf.wide ? 64 : 40;
    if (tableOffset == 0 || entrySize < minimumEntry ||
        !FitsInFile(tableOffset, entrySize, fileSize)) {
        return false;
    }
    std::vector<uint8_t> entry(entrySize);
    if (!ReadExactly(file.get(), tableOffset, entrySize, entry.data())) {
        return false;
    }
    // Files with many sections keep the real count and string table index
    // in the first section header.
    SectionHeader first = ParseSectionHeader(elf, entry.data());
    if (count == 0) {
        count = first.size;
    }
    if (namesIndex == 0xFFFF) {
        namesIndex = first.link;
    }
    if (count == 0 || count > kMaxSectionCount || namesIndex >= count ||
        !FitsInFile(tableOffset, count * entrySize, fileSize)) {
        return false;
    }
    std::vector<uint8_t> table(count * entrySize);
    if (!ReadExactly(file.get(), tableOffset, table.size(), table.data())) {
        return false;
    }
    SectionHeader names = ParseSectionHeader(elf, table.data() + namesIndex * entrySize);
    if (names.type == kSectionTypeNoBits || names.size > kMaxResourceSectionSize ||
        !FitsInFile(names.offset, names.size, fileSize)) {
        return false;
    }
    std::vector<uint8_t> nameTable(names.size);
    if (!ReadExactly(file.get(), names.offset, nameTable.size(), nameTable.data())) {
        return false;
    }
    for (uint64_t i = 0; i < count; i++) {
        SectionHeader section = ParseSectionHeader(elf, table.data() + i * entrySize);
        if (!NameMatches(nameTable, section.name, sectionName)) {
            continue;
        }
        if (section.type == kSectionTypeNoBits || section.size > kMaxResourceSectionSize ||
            !FitsInFile(section.offset, section.size, fileSize)) {
            return false;
        }
        data->resize(section.size);
        return ReadExactly(file.get(), section.offset, data->size(), data->data());
    }
    return false;
}

bool FindVersionResource(const uint8_t* res, size_t size, const uint8_t** data, size_t* length)
{
    // Entry header: DataSize, HeaderSize, TYPE, NAME, padding, then
    // DataVersion, MemoryFlags, LanguageId, Version, Characteristics.
    const size_t kFixedTail = 16;
    size_t pos = 0;
    while (size - pos >= 8) {
        const uint8_t* entry = res + pos;
        size_t dataSize = (size_t)entry[0] | (size_t)entry[1] << 8 | (size_t)entry[2] << 16 |
                          (size_t)entry[3] << 24;
        size_t headerSize = (size_t)entry[4] | (size_t)entry[5] << 8 | (size_t)entry[6] << 16 |
                            (size_t)entry[7] << 24;
        if (headerSize < 8 + 4 + 4 + kFixedTail || headerSize > size - pos ||
            dataSize > size - pos - headerSize) {
            return false;
        }
        size_t field = 8;
        uint16_t type = 0;
        uint16_t id = 0;
        if (!SkipResourceName(entry, headerSize, &field, &type) ||
            !SkipResourceName(entry, headerSize, &field, &id)) {
            return false;
        }
        size_t tail = (field + 3) & ~(size_t)3;
        if (tail > headerSize || headerSize - tail < kFixedTail) {
            return false;
        }
        if (type == kResourceTypeVersion && id == kVersionResourceId) {
            *data = entry + headerSize;
            *length = dataSize;
            return true;
        }
        size_t next = headerSize + ((dataSize + 3) & ~(size_t)3);
        if (next > size - pos) {
            return false;
        }
        pos += next;
    }
    return false;
}
