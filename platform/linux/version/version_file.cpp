#include "version_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "version_record.h"

const char kResourceSectionName[] = ".ostrel_resources";

namespace {

const size_t kMaxSectionCount = 65535;
const uint16_t kResourceTypeVersion = 16;
const uint16_t kVersionResourceId = 1;
// The name may have been swapped for a FIFO or a device since the search
// looked at it: opening must neither wait for a writer nor make a terminal
// ours.
const int kOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;

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

// Bytes of a file or of memory at offsets below a known size. File reads
// go through a small window, so scanning many small fields costs few system
// calls and never more memory than the window, whatever the file claims.
class ByteReader {
   public:
    ByteReader(int fd, uint64_t size) : fd_(fd), memory_(NULL), size_(size)
    {
    }
    ByteReader(const uint8_t* data, size_t size) : fd_(-1), memory_(data), size_(size)
    {
    }
    ByteReader(const ByteReader&) = delete;
    ByteReader& operator=(const ByteReader&) = delete;

    uint64_t Size() const
    {
        return size_;
    }
    bool Read(uint64_t offset, size_t length, uint8_t* out)
    {
        if (offset > size_ || length > size_ - offset) {
            return false;
        }
        if (length == 0) {
            return true;
        }
        if (fd_ < 0) {
            memcpy(out, memory_ + offset, length);
            return true;
        }
        if (length > sizeof(window_)) {
            return ReadExactly(fd_, offset, length, out);
        }
        if (offset < start_ || offset - start_ > filled_ || length > filled_ - (offset - start_)) {
            size_t want = (size_t)std::min<uint64_t>(sizeof(window_), size_ - offset);
            filled_ = 0;
            if (!ReadExactly(fd_, offset, want, window_)) {
                return false;
            }
            start_ = offset;
            filled_ = want;
        }
        memcpy(out, window_ + (offset - start_), length);
        return true;
    }
    bool ReadWord(uint64_t offset, uint16_t* value)
    {
        uint8_t bytes[2];
        if (!Read(offset, 2, bytes)) {
            return false;
        }
        *value = (uint16_t)(bytes[0] | (bytes[1] << 8));
        return true;
    }

   private:
    int fd_;
    const uint8_t* memory_;
    uint64_t size_;
    uint64_t start_ = 0;
    size_t filled_ = 0;
    uint8_t window_[4096];
};

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
    // The bytes of a section header that are read; the entry size in the
    // file may be larger.
    size_t SectionHeaderSize() const
    {
        return wide ? 64 : 40;
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

bool ReadSectionHeader(ByteReader* file, const ElfLayout& elf, uint64_t offset,
                       SectionHeader* header)
{
    uint8_t at[64];
    if (!file->Read(offset, elf.SectionHeaderSize(), at)) {
        return false;
    }
    header->name = (uint32_t)elf.Read(at, 4);
    header->type = (uint32_t)elf.Read(at + 4, 4);
    if (elf.wide) {
        header->offset = elf.Read(at + 24, 8);
        header->size = elf.Read(at + 32, 8);
        header->link = (uint32_t)elf.Read(at + 40, 4);
    } else {
        header->offset = elf.Read(at + 16, 4);
        header->size = elf.Read(at + 20, 4);
        header->link = (uint32_t)elf.Read(at + 24, 4);
    }
    return true;
}

bool FitsInFile(uint64_t offset, uint64_t size, uint64_t fileSize)
{
    return offset <= fileSize && size <= fileSize - offset;
}

// Whether a section's name, at offset within the name table, is wanted.
bool NameMatches(ByteReader* file, const SectionHeader& names, uint32_t offset, const char* wanted)
{
    uint8_t name[32];
    size_t length = strlen(wanted);
    if (length >= sizeof(name) || offset >= names.size || names.size - offset <= length) {
        return false;
    }
    return file->Read(names.offset + offset, length + 1, name) &&
           memcmp(name, wanted, length) == 0 && name[length] == 0;
}

// Finds the one section called sectionName. Section headers are read one
// at a time and names one at a time, so a table that claims a gigabyte
// costs a window, not the gigabyte. A second section of that name rejects
// the file: nothing says which of the two is meant.
bool FindElfSection(int fd, uint64_t fileSize, const char* sectionName, SectionHeader* found)
{
    ByteReader table(fd, fileSize);
    uint8_t ident[64];
    if (fileSize < 52 || !table.Read(0, fileSize < 64 ? 52 : 64, ident) ||
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
    uint64_t entrySize = elf.Read(counts, 2);
    uint64_t count = elf.Read(counts + 2, 2);
    uint32_t namesIndex = (uint32_t)elf.Read(counts + 4, 2);
    SectionHeader first;
    if (tableOffset == 0 || entrySize < elf.SectionHeaderSize() ||
        !FitsInFile(tableOffset, entrySize, fileSize) ||
        !ReadSectionHeader(&table, elf, tableOffset, &first)) {
        return false;
    }
    // Files with many sections keep the real count and string table index
    // in the first section header.
    if (count == 0) {
        count = first.size;
    }
    if (namesIndex == 0xFFFF) {
        namesIndex = first.link;
    }
    SectionHeader names;
    if (count == 0 || count > kMaxSectionCount || namesIndex >= count ||
        !FitsInFile(tableOffset, count * entrySize, fileSize) ||
        !ReadSectionHeader(&table, elf, tableOffset + namesIndex * entrySize, &names) ||
        names.type == kSectionTypeNoBits || !FitsInFile(names.offset, names.size, fileSize)) {
        return false;
    }
    // Its own window, so that the table and the names are each read in
    // order rather than refilling one window in turn.
    ByteReader nameTable(fd, fileSize);
    size_t matches = 0;
    for (uint64_t i = 0; i < count; i++) {
        SectionHeader section;
        if (!ReadSectionHeader(&table, elf, tableOffset + i * entrySize, &section)) {
            return false;
        }
        if (NameMatches(&nameTable, names, section.name, sectionName)) {
            *found = section;
            matches++;
        }
    }
    return matches == 1 && found->type != kSectionTypeNoBits &&
           found->size <= kMaxResourceSectionSize &&
           FitsInFile(found->offset, found->size, fileSize);
}

// Skips a TYPE or NAME field of the .res entry header at entry: an ordinal
// (0xFFFF and a word) or a terminated UTF-16 name. Reports the ordinal, or
// 0 for names.
bool SkipResourceName(ByteReader* res, uint64_t entry, uint64_t headerSize, uint64_t* pos,
                      uint16_t* ordinal)
{
    uint16_t unit = 0;
    if (headerSize - *pos < 2 || !res->ReadWord(entry + *pos, &unit)) {
        return false;
    }
    if (unit == 0xFFFF) {
        if (headerSize - *pos < 4 || !res->ReadWord(entry + *pos + 2, ordinal)) {
            return false;
        }
        *pos += 4;
        return true;
    }
    *ordinal = 0;
    while (headerSize - *pos >= 2) {
        if (!res->ReadWord(entry + *pos, &unit)) {
            return false;
        }
        *pos += 2;
        if (unit == 0) {
            return true;
        }
    }
    return false;
}

uint64_t ReadLittle32(const uint8_t* at)
{
    return (uint64_t)at[0] | (uint64_t)at[1] << 8 | (uint64_t)at[2] << 16 | (uint64_t)at[3] << 24;
}

// Finds the RT_VERSION entry with id 1 among the .res entries that fill
// size bytes from base; reports where its data starts and how long it is.
bool FindVersionEntry(ByteReader* res, uint64_t base, uint64_t size, uint64_t* data,
                      uint64_t* length)
{
    // Entry header: DataSize, HeaderSize, TYPE, NAME, padding, then
    // DataVersion, MemoryFlags, LanguageId, Version, Characteristics.
    const uint64_t kFixedTail = 16;
    uint64_t pos = 0;
    while (size - pos >= 8) {
        uint64_t entry = base + pos;
        uint8_t sizes[8];
        if (!res->Read(entry, sizeof(sizes), sizes)) {
            return false;
        }
        uint64_t dataSize = ReadLittle32(sizes);
        uint64_t headerSize = ReadLittle32(sizes + 4);
        if (headerSize < 8 + 4 + 4 + kFixedTail || headerSize > size - pos ||
            dataSize > size - pos - headerSize) {
            return false;
        }
        uint64_t field = 8;
        uint16_t type = 0;
        uint16_t id = 0;
        if (!SkipResourceName(res, entry, headerSize, &field, &type) ||
            !SkipResourceName(res, entry, headerSize, &field, &id)) {
            return false;
        }
        uint64_t tail = (field + 3) & ~(uint64_t)3;
        if (tail > headerSize || headerSize - tail < kFixedTail) {
            return false;
        }
        if (type == kResourceTypeVersion && id == kVersionResourceId) {
            *data = entry + headerSize;
            *length = dataSize;
            return true;
        }
        uint64_t next = headerSize + ((dataSize + 3) & ~(uint64_t)3);
        if (next > size - pos) {
            return false;
        }
        pos += next;
    }
    return false;
}

}  // namespace

bool ReadVersionRecord(int fd, std::vector<uint8_t>* record)
{
    struct stat info;
    SectionHeader section;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        !FindElfSection(fd, (uint64_t)info.st_size, kResourceSectionName, &section)) {
        return false;
    }
    ByteReader file(fd, (uint64_t)info.st_size);
    uint64_t data = 0;
    uint64_t length = 0;
    if (!FindVersionEntry(&file, section.offset, section.size, &data, &length)) {
        return false;
    }
    record->resize((size_t)std::min<uint64_t>(length, kMaxVersionRecordSize));
    if (!file.Read(data, record->size(), record->data())) {
        return false;
    }
    size_t measured = MeasureVersionRecord(record->data(), record->size());
    record->resize(measured);
    return measured > 0;
}

VersionLookup LoadFileVersionRecord(const char* name, std::vector<uint8_t>* record)
{
    if (name == NULL) {
        return kVersionNoFile;
    }
    // A longer name cut to fit could name some other file.
    size_t length = strnlen(name, PATH_MAX);
    if (length == PATH_MAX) {
        return kVersionNoFile;
    }
    std::string wanted(name, length);
    bool another = EndsWithExe(wanted);
    VersionLookup result = kVersionNoFile;
    while (true) {
        std::string path;
        if (SearchName(wanted, &path)) {
            result = kVersionNoRecord;
            FileOwner file(open(path.c_str(), kOpenFlags));
            if (file.get() >= 0 && ReadVersionRecord(file.get(), record)) {
                return kVersionFound;
            }
        }
        if (!another) {
            return result;
        }
        another = false;
        wanted.resize(wanted.size() - 4);
    }
}

bool FindVersionResource(const uint8_t* res, size_t size, const uint8_t** data, size_t* length)
{
    ByteReader image(res, size);
    uint64_t offset = 0;
    uint64_t found = 0;
    if (res == NULL || !FindVersionEntry(&image, 0, size, &offset, &found)) {
        return false;
    }
    *data = res + offset;
    *length = (size_t)found;
    return true;
}
