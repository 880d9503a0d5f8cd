// The ELF section that carries the compiled resources, and the version
// record read out of it.
#include <elf.h>
#include <link.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "byte_reader.h"
#include "resource_walk.h"
#include "version_file.h"
#include "version_record.h"

const char kResourceSectionName[] = ".ostrel_resources";

namespace {

using ElfHeader = ElfW(Ehdr);
using SectionHeader = ElfW(Shdr);

// Only a file of this build's own class and byte order can be it: any
// other carries no record, so its fields are never decoded.
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
const uint8_t kNativeData = ELFDATA2LSB;
#else
const uint8_t kNativeData = ELFDATA2MSB;
#endif
const uint8_t kNativeClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;

bool FitsInFile(uint64_t offset, uint64_t size, uint64_t fileSize)
{
    return offset <= fileSize && size <= fileSize - offset;
}

// Returns 0 or the reader's error.
int ReadSectionHeader(ByteReader* file, uint64_t offset, SectionHeader* header)
{
    return file->Read(offset, sizeof(*header), reinterpret_cast<uint8_t*>(header));
}

// Whether a section's name, at offset within the name table, is wanted.
// The name table lies within the file, so only a file cut short since its
// size was taken fails the read; its names then match nothing.
bool NameMatches(ByteReader* file, const SectionHeader& names, uint32_t offset, const char* wanted)
{
    uint8_t name[32];
    size_t length = strlen(wanted);
    if (length >= sizeof(name) || offset >= names.sh_size || names.sh_size - offset <= length) {
        return false;
    }
    return file->Read(names.sh_offset + offset, length + 1, name) == 0 &&
           memcmp(name, wanted, length) == 0 && name[length] == 0;
}

// Finds the one section called sectionName. Section headers are read one
// at a time and names one at a time, so a table that claims a gigabyte
// costs a window, not the gigabyte. A second section of that name rejects
// the file: nothing says which of the two is meant.
// Returns 0, ENOENT when the file is of another class or byte order or
// has no section table (the tool's own never counts its sections past the
// header's 16 bits) or no such section, EBADMSG when it is no ELF file or
// its headers are malformed, EOVERFLOW when the section is larger than is
// walked, or the reader's error.
int FindElfSection(int fd, uint64_t fileSize, const char* sectionName, SectionHeader* found)
{
    ByteReader table(fd, fileSize);
    ElfHeader elf = {};
    uint64_t headerSize = std::min<uint64_t>(fileSize, sizeof(elf));
    if (int error = table.Read(0, headerSize, reinterpret_cast<uint8_t*>(&elf)); error != 0) {
        return error;
    }
    if (headerSize < EI_NIDENT || memcmp(elf.e_ident, ELFMAG, SELFMAG) != 0) {
        return EBADMSG;
    }
    if (elf.e_ident[EI_CLASS] != kNativeClass || elf.e_ident[EI_DATA] != kNativeData) {
        return ENOENT;
    }
    if (headerSize < sizeof(elf)) {
        return EBADMSG;
    }
    if (elf.e_shoff == 0 || elf.e_shnum == 0) {
        return ENOENT;
    }
    uint64_t entrySize = elf.e_shentsize;
    if (entrySize < sizeof(SectionHeader) || elf.e_shstrndx >= elf.e_shnum ||
        !FitsInFile(elf.e_shoff, elf.e_shnum * entrySize, fileSize)) {
        return EBADMSG;
    }
    SectionHeader names;
    if (int error = ReadSectionHeader(&table, elf.e_shoff + elf.e_shstrndx * entrySize, &names);
        error != 0) {
        return error;
    }
    if (names.sh_type == SHT_NOBITS || !FitsInFile(names.sh_offset, names.sh_size, fileSize)) {
        return EBADMSG;
    }
    // Its own window, so that the table and the names are each read in
    // order rather than refilling one window in turn.
    ByteReader nameTable(fd, fileSize);
    size_t matches = 0;
    for (uint64_t i = 0; i < elf.e_shnum; i++) {
        SectionHeader section;
        if (int error = ReadSectionHeader(&table, elf.e_shoff + i * entrySize, &section);
            error != 0) {
            return error;
        }
        if (NameMatches(&nameTable, names, section.sh_name, sectionName)) {
            *found = section;
            matches++;
        }
    }
    if (matches == 0) {
        return ENOENT;
    }
    if (matches > 1 || found->sh_type == SHT_NOBITS ||
        !FitsInFile(found->sh_offset, found->sh_size, fileSize)) {
        return EBADMSG;
    }
    return found->sh_size > kMaxResourceSectionSize ? EOVERFLOW : 0;
}

}  // namespace

int ReadElfVersionRecord(int fd, std::vector<uint8_t>* record)
{
    struct stat info;
    if (fstat(fd, &info) != 0) {
        return errno;
    }
    if (!S_ISREG(info.st_mode)) {
        return ENOENT;
    }
    uint64_t fileSize = static_cast<uint64_t>(info.st_size);
    SectionHeader section{};
    if (int error = FindElfSection(fd, fileSize, kResourceSectionName, &section); error != 0) {
        return error;
    }
    ByteReader file(fd, fileSize);
    uint64_t data = 0;
    uint64_t length = 0;
    if (int error = FindVersionEntry(&file, section.sh_offset, section.sh_size, &data, &length);
        error != 0) {
        return error;
    }
    record->resize(static_cast<size_t>(std::min<uint64_t>(length, kMaxVersionRecordSize)));
    if (int error = file.Read(data, record->size(), record->data()); error != 0) {
        return error;
    }
    size_t measured = 0;
    int error = MeasureVersionRecord(record->data(), record->size(), &measured);
    record->resize(measured);
    return error;
}
