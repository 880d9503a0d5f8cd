// The ELF section that carries the compiled resources, and the version
// record read out of it.
#include <elf.h>
#include <sys/stat.h>

#include <algorithm>
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

bool ReadSectionHeader(ByteReader* file, const ElfLayout& elf, uint64_t offset,
                       SectionHeader* header)
{
    uint8_t at[sizeof(Elf64_Shdr)];
    if (!file->Read(offset, elf.SectionHeaderSize(), at)) {
        return false;
    }
    if (elf.wide) {
        DecodeSectionHeader<Elf64_Shdr>(elf, at, header);
    } else {
        DecodeSectionHeader<Elf32_Shdr>(elf, at, header);
    }
    return true;
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
    uint8_t ident[sizeof(Elf64_Ehdr)];
    if (fileSize < sizeof(Elf32_Ehdr) ||
        !table.Read(0, fileSize < sizeof(Elf64_Ehdr) ? sizeof(Elf32_Ehdr) : sizeof(Elf64_Ehdr),
                    ident) ||
        memcmp(ident, ELFMAG, SELFMAG) != 0 ||
        (ident[EI_CLASS] != ELFCLASS32 && ident[EI_CLASS] != ELFCLASS64) ||
        (ident[EI_DATA] != ELFDATA2LSB && ident[EI_DATA] != ELFDATA2MSB)) {
        return false;
    }
    ElfLayout elf{ident[EI_CLASS] == ELFCLASS64, ident[EI_DATA] == ELFDATA2MSB};
    if (elf.wide && fileSize < sizeof(Elf64_Ehdr)) {
        return false;
    }
    SectionTable layout = elf.wide ? DecodeSectionTable<Elf64_Ehdr>(elf, ident)
                                   : DecodeSectionTable<Elf32_Ehdr>(elf, ident);
    uint64_t tableOffset = layout.offset;
    uint64_t entrySize = layout.entrySize;
    uint64_t count = layout.count;
    uint32_t namesIndex = layout.namesIndex;
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
    if (namesIndex == SHN_XINDEX) {
        namesIndex = first.link;
    }
    SectionHeader names;
    if (count == 0 || count > kMaxSectionCount || namesIndex >= count ||
        !FitsInFile(tableOffset, count * entrySize, fileSize) ||
        !ReadSectionHeader(&table, elf, tableOffset + namesIndex * entrySize, &names) ||
        names.type == SHT_NOBITS || !FitsInFile(names.offset, names.size, fileSize)) {
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
    return matches == 1 && found->type != SHT_NOBITS && found->size <= kMaxResourceSectionSize &&
           FitsInFile(found->offset, found->size, fileSize);
}

}  // namespace

bool ReadElfVersionRecord(int fd, std::vector<uint8_t>* record)
{
    struct stat info;
    SectionHeader section;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        !FindElfSection(fd, static_cast<uint64_t>(info.st_size), kResourceSectionName, &section)) {
        return false;
    }
    ByteReader file(fd, static_cast<uint64_t>(info.st_size));
    uint64_t data = 0;
    uint64_t length = 0;
    if (!FindVersionEntry(&file, section.offset, section.size, &data, &length)) {
        return false;
    }
    record->resize(static_cast<size_t>(std::min<uint64_t>(length, kMaxVersionRecordSize)));
    if (!file.Read(data, record->size(), record->data())) {
        return false;
    }
    size_t measured = MeasureVersionRecord(record->data(), record->size());
    record->resize(measured);
    return measured > 0;
}
