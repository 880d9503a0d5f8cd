// The ELF section that carries the compiled resources, and the version
// record read out of it.
#include <elf.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "byte_reader.h"
#include "resource_walk.h"
#include "version_file.h"
#include "version_record.h"

const char kResourceSectionName[] = ".ostrel_resources";

namespace {

const size_t kMaxSectionCount = 65535;

// Where an <elf.h> field sits in its structure and how wide it is.
#define ELF_FIELD(Type, field) offsetof(Type, field), sizeof(Type::field)

// Field reader for either ELF class and byte order.
struct ElfLayout {
    bool wide;  // ELFCLASS64
    bool bigEndian;

    uint64_t Read(const uint8_t* base, size_t offset, size_t width) const
    {
        const uint8_t* at = base + offset;
        uint64_t value = 0;
        for (size_t i = 0; i < width; i++) {
            size_t index = bigEndian ? i : width - 1 - i;
            value = (value << 8) | at[index];
        }
        return value;
    }
    // The bytes of a section header that are read; the entry size in the
    // file may be larger.
    size_t SectionHeaderSize() const
    {
        return wide ? sizeof(Elf64_Shdr) : sizeof(Elf32_Shdr);
    }
};

struct SectionHeader {
    uint32_t name;
    uint32_t type;
    uint64_t offset;
    uint64_t size;
    uint32_t link;
};

template <typename Shdr>
void DecodeSectionHeader(const ElfLayout& elf, const uint8_t* at, SectionHeader* header)
{
    header->name = static_cast<uint32_t>(elf.Read(at, ELF_FIELD(Shdr, sh_name)));
    header->type = static_cast<uint32_t>(elf.Read(at, ELF_FIELD(Shdr, sh_type)));
    header->offset = elf.Read(at, ELF_FIELD(Shdr, sh_offset));
    header->size = elf.Read(at, ELF_FIELD(Shdr, sh_size));
    header->link = static_cast<uint32_t>(elf.Read(at, ELF_FIELD(Shdr, sh_link)));
}

// Returns 0 or the reader's error.
int ReadSectionHeader(ByteReader* file, const ElfLayout& elf, uint64_t offset,
                      SectionHeader* header)
{
    uint8_t at[sizeof(Elf64_Shdr)];
    if (int error = file->Read(offset, elf.SectionHeaderSize(), at); error != 0) {
        return error;
    }
    if (elf.wide) {
        DecodeSectionHeader<Elf64_Shdr>(elf, at, header);
    } else {
        DecodeSectionHeader<Elf32_Shdr>(elf, at, header);
    }
    return 0;
}

// Where the section header table is and how it is laid out.
struct SectionTable {
    uint64_t offset;      // e_shoff
    uint64_t entrySize;   // e_shentsize
    uint64_t count;       // e_shnum
    uint32_t namesIndex;  // e_shstrndx
};

template <typename Ehdr>
SectionTable DecodeSectionTable(const ElfLayout& elf, const uint8_t* at)
{
    SectionTable table;
    table.offset = elf.Read(at, ELF_FIELD(Ehdr, e_shoff));
    table.entrySize = elf.Read(at, ELF_FIELD(Ehdr, e_shentsize));
    table.count = elf.Read(at, ELF_FIELD(Ehdr, e_shnum));
    table.namesIndex = static_cast<uint32_t>(elf.Read(at, ELF_FIELD(Ehdr, e_shstrndx)));
    return table;
}

bool FitsInFile(uint64_t offset, uint64_t size, uint64_t fileSize)
{
    return offset <= fileSize && size <= fileSize - offset;
}

// Whether a section's name, at offset within the name table, is wanted.
// The name table lies within the file, so only a file cut short since its
// size was taken fails the read; its names then match nothing.
bool NameMatches(ByteReader* file, const SectionHeader& names, uint32_t offset, const char* wanted)
{
    uint8_t name[32];
    size_t length = strlen(wanted);
    if (length >= sizeof(name) || offset >= names.size || names.size - offset <= length) {
        return false;
    }
    return file->Read(names.offset + offset, length + 1, name) == 0 &&
           memcmp(name, wanted, length) == 0 && name[length] == 0;
}

// Finds the one section called sectionName. Section headers are read one
// at a time and names one at a time, so a table that claims a gigabyte
// costs a window, not the gigabyte. A second section of that name rejects
// the file: nothing says which of the two is meant.
// Returns 0, ENOENT when the file has no section table or no such section,
// EBADMSG when it is no ELF file or its headers are malformed, EOVERFLOW
// when the section is larger than is walked, or the reader's error.
int FindElfSection(int fd, uint64_t fileSize, const char* sectionName, SectionHeader* found)
{
    ByteReader table(fd, fileSize);
    uint8_t ident[sizeof(Elf64_Ehdr)];
    if (fileSize < sizeof(Elf32_Ehdr)) {
        return EBADMSG;
    }
    if (int error = table.Read(
            0, fileSize < sizeof(Elf64_Ehdr) ? sizeof(Elf32_Ehdr) : sizeof(Elf64_Ehdr), ident);
        error != 0) {
        return error;
    }
    if (memcmp(ident, ELFMAG, SELFMAG) != 0 ||
        (ident[EI_CLASS] != ELFCLASS32 && ident[EI_CLASS] != ELFCLASS64) ||
        (ident[EI_DATA] != ELFDATA2LSB && ident[EI_DATA] != ELFDATA2MSB)) {
        return EBADMSG;
    }
    ElfLayout elf{ident[EI_CLASS] == ELFCLASS64, ident[EI_DATA] == ELFDATA2MSB};
    if (elf.wide && fileSize < sizeof(Elf64_Ehdr)) {
        return EBADMSG;
    }
    SectionTable layout = elf.wide ? DecodeSectionTable<Elf64_Ehdr>(elf, ident)
                                   : DecodeSectionTable<Elf32_Ehdr>(elf, ident);
    uint64_t tableOffset = layout.offset;
    uint64_t entrySize = layout.entrySize;
    uint64_t count = layout.count;
    uint32_t namesIndex = layout.namesIndex;
    if (tableOffset == 0) {
        return ENOENT;
    }
    if (entrySize < elf.SectionHeaderSize() || !FitsInFile(tableOffset, entrySize, fileSize)) {
        return EBADMSG;
    }
    SectionHeader first;
    if (int error = ReadSectionHeader(&table, elf, tableOffset, &first); error != 0) {
        return error;
    }
    // Files with many sections keep the real count and string table index
    // in the first section header.
    if (count == 0) {
        count = first.size;
    }
    if (namesIndex == SHN_XINDEX) {
        namesIndex = first.link;
    }
    if (count == 0 || count > kMaxSectionCount || namesIndex >= count ||
        !FitsInFile(tableOffset, count * entrySize, fileSize)) {
        return EBADMSG;
    }
    SectionHeader names;
    if (int error = ReadSectionHeader(&table, elf, tableOffset + namesIndex * entrySize, &names);
        error != 0) {
        return error;
    }
    if (names.type == SHT_NOBITS || !FitsInFile(names.offset, names.size, fileSize)) {
        return EBADMSG;
    }
    // Its own window, so that the table and the names are each read in
    // order rather than refilling one window in turn.
    ByteReader nameTable(fd, fileSize);
    size_t matches = 0;
    for (uint64_t i = 0; i < count; i++) {
        SectionHeader section;
        if (int error = ReadSectionHeader(&table, elf, tableOffset + i * entrySize, &section);
            error != 0) {
            return error;
        }
        if (NameMatches(&nameTable, names, section.name, sectionName)) {
            *found = section;
            matches++;
        }
    }
    if (matches == 0) {
        return ENOENT;
    }
    if (matches > 1 || found->type == SHT_NOBITS ||
        !FitsInFile(found->offset, found->size, fileSize)) {
        return EBADMSG;
    }
    return found->size > kMaxResourceSectionSize ? EOVERFLOW : 0;
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
    return ReadElfVersionRecordOfSize(fd, static_cast<uint64_t>(info.st_size), record);
}

int ReadElfVersionRecordOfSize(int fd, uint64_t fileSize, std::vector<uint8_t>* record)
{
    SectionHeader section{};
    if (int error = FindElfSection(fd, fileSize, kResourceSectionName, &section); error != 0) {
        return error;
    }
    ByteReader file(fd, fileSize);
    uint64_t data = 0;
    uint64_t length = 0;
    if (int error = FindVersionEntry(&file, section.offset, section.size, &data, &length);
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
