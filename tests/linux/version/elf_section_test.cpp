// The ELF reader on minimal, damaged and oversized copies of the executable.
#include <elf.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

#include "version_file.h"
#include "version_support.h"

namespace {

// Where a member of an ELF header lies, and its width.
#define ELF_FIELD(type, member) offsetof(type, member), sizeof(type::member)

void PutField(uint8_t* at, size_t width, uint64_t value)
{
    uint16_t half = (uint16_t)value;
    uint32_t word = (uint32_t)value;
    memcpy(at, width == 2 ? (void*)&half : width == 4 ? (void*)&word : (void*)&value, width);
}

// A minimal file of three sections, or of many, carries the record; one
// that keeps its count in the first header, as ELF does past 0xFF00, none;
// nor does a resource section (the .res image, padded) past the cap or
// past the file's end, which it reaches.
TEST_F(VersionFile, MinimalFilesCarryTheRecord)
{
    const Bytes res = ReadFile(OSTREL_RES_FILE);
    const std::string names = std::string(1, '\0') + kResourceSectionName + '\0' + ".shstrtab";
    const size_t n = res.size(), cap = 1024 * 1024;  // the most that is walked
    const struct {
        size_t count, sectionSize, held;  // bytes of the file from the section's start
        const char* version;
    } layouts[] = {{3, n, n, kRecord},          {0x4000, n, n, kRecord},
                   {0xFFFF, n, n, kNoRecord},   {3, cap - 1, cap - 1, kRecord},
                   {3, cap, cap, kRecord},      {3, cap + 1, cap + 1, kNoRecord},
                   {3, cap, cap - 1, kNoRecord}};
    for (const auto& layout : layouts) {
        size_t namesAt = 64, table = 128, resAt = table + layout.count * sizeof(SectionHeader);
        Bytes data(resAt + layout.held);
        ElfHeader elf = {};
        memcpy(elf.e_ident, ELFMAG, SELFMAG);
        elf.e_ident[EI_CLASS] = kElfClass;
        elf.e_ident[EI_DATA] = kElfData;
        elf.e_shoff = table;
        elf.e_shentsize = sizeof(SectionHeader);
        elf.e_shnum = (ElfW(Half))(layout.count < 0xFF00 ? layout.count : 0);
        elf.e_shstrndx = 2;
        memcpy(&data[0], &elf, sizeof elf);
        SectionHeader sections[3] = {};
        sections[0].sh_size = layout.count < 0xFF00 ? 0 : layout.count;
        sections[1] = {1, SHT_PROGBITS, 0, 0, resAt, layout.sectionSize, 0, 0, 0, 0};
        sections[2] = {
            (ElfW(Word))names.size() - 9, SHT_STRTAB, 0, 0, namesAt, names.size() + 1, 0, 0, 0, 0};
        memcpy(&data[table], sections, sizeof sections);
        memcpy(&data[namesAt], names.data(), names.size());
        memcpy(&data[resAt], res.data(), res.size());
        EXPECT_EQ(RunningVersion(Write("elf", data)), layout.version)
            << layout.count << " " << layout.sectionSize << " " << layout.held;
    }
}

// The reader against binutils: the section objcopy takes out of the built
// executable is the compiled resources, and the record read from the
// executable is the one the walk finds there, as long as its own length.
TEST_F(VersionFile, RecordIsTheOneInTheSectionObjcopyTakesOut)
{
    std::string section = dir + "/section";
    std::string command = std::string(OSTREL_OBJCOPY " -O binary --only-section=") +
                          kResourceSectionName + " '" + OSTREL_EXE + "' '" + section + "'";
    ASSERT_EQ(system(command.c_str()), 0);
    EXPECT_EQ(ReadFile(section), ReadFile(OSTREL_RES_FILE));
    const Bytes walked = CompiledRecord();
    int fd = open(OSTREL_EXE, O_RDONLY);
    std::vector<uint8_t> record;
    EXPECT_EQ(0, ReadElfVersionRecord(fd, &record));
    close(fd);
    EXPECT_EQ(record, walked);
}

// An ELF file header of either class one byte short of its size, of it,
// and past it.
TEST_F(VersionFile, HeadersAtTheirExactSizes)
{
    // Another class or byte order than the build's own carries no record.
    const uint8_t otherClass = ELFCLASS32 + ELFCLASS64 - kElfClass;
    const uint8_t otherData = ELFDATA2LSB + ELFDATA2MSB - kElfData;
    const size_t size = sizeof(ElfHeader);
    const struct {
        uint8_t elfClass, byteOrder;
        size_t size;
        int error;
    } files[] = {
        {otherClass, kElfData, 15, EBADMSG},  // the identification alone
        {otherClass, kElfData, 16, ENOENT},   {otherClass, kElfData, 52 + 64 - size, ENOENT},
        {kElfClass, otherData, size, ENOENT}, {kElfClass, kElfData, size - 1, EBADMSG},
        {kElfClass, kElfData, size, ENOENT},  {kElfClass, kElfData, size + 1, ENOENT}};
    for (const auto& file : files) {
        Bytes data = {0x7F, 'E', 'L', 'F', file.elfClass, file.byteOrder};
        data.resize(file.size);
        int fd = open(Write("elf", data).c_str(), O_RDONLY);
        EXPECT_EQ(file.error, ReadElfVersionRecord(fd, &data)) << file.size;
        close(fd);
    }
}

TEST_F(VersionFile, DamagedExecutablesHaveNoRecord)
{
    // The header of the section that holds the .res image.
    const Bytes res = ReadFile(OSTREL_RES_FILE);
    uint64_t at =
        (uint64_t)(std::search(exe.begin(), exe.end(), res.begin(), res.end()) - exe.begin());
    const size_t entry = sizeof(SectionHeader), table = Field(ELF_FIELD(ElfHeader, e_shoff));
    const size_t names = table + Field(ELF_FIELD(ElfHeader, e_shstrndx)) * entry;
    const size_t offset = offsetof(SectionHeader, sh_offset),
                 size = offsetof(SectionHeader, sh_size);
    const size_t wide = sizeof(SectionHeader::sh_size);
    size_t section = table;
    while (section + entry < exe.size() &&
           (Field(section + offset, wide) != at || Field(section + size, wide) != res.size())) {
        section += entry;
    }
    uint64_t fileSize = exe.size(), nameEnd = Field(section, 4) + strlen(kResourceSectionName);
    struct Damage {
        const char* what;
        size_t offset;
        size_t width;
        uint64_t value;
    } damages[] = {
        {"section table end beyond the file", ELF_FIELD(ElfHeader, e_shoff), fileSize - entry},
        {"section entries one byte short", ELF_FIELD(ElfHeader, e_shentsize), entry - 1},
        {"name table index out of range", ELF_FIELD(ElfHeader, e_shstrndx), 0xFFF0},
        {"section beyond the file", section + offset, wide, fileSize - 16},
        {"section holds no file bytes", section + 4, 4, SHT_NOBITS},
        {"name offset beyond the name table", section, 4, 0xFFFFFF},
        {"section too short for the version entry", section + size, wide, 40},
        // A key unit that reads the same in either byte order.
        {"record's root misnamed", NodeAt(exe, "VS_VERSION_INFO") + 6, 2, 0x5858},
        {"name table ends before the name's terminator", names + size, wide, nameEnd},
        // Two sections of the record's name: neither is taken.
        {"a later section shares the name", section + entry, 4, Field(section, 4)},
        {"an earlier section shares the name", section - entry, 4, Field(section, 4)},
    };
    for (const Damage& damage : damages) {
        Bytes copy = exe;
        PutField(&copy[damage.offset], damage.width, damage.value);
        EXPECT_EQ(RunningVersion(Write("damaged", copy)), kNoRecord) << damage.what;
    }
}

// Sizes a file may claim cost reads of headers, never memory or reads
// in proportion to the claim.
TEST_F(VersionFile, HugeSectionTableCostsNoMemory)
{
    // 16384 section headers of 0xFFFF bytes: a sparse file of a gigabyte.
    ElfHeader elf = {};
    memcpy(elf.e_ident, ELFMAG, SELFMAG);
    elf.e_ident[EI_CLASS] = kElfClass;
    elf.e_ident[EI_DATA] = kElfData;
    elf.e_shoff = sizeof(elf);
    elf.e_shentsize = 0xFFFF;
    elf.e_shnum = 0x4000;
    elf.e_shstrndx = 0x100;
    Bytes data((const uint8_t*)&elf, (const uint8_t*)&elf + sizeof(elf));
    std::string path = Write("huge", data);
    ASSERT_EQ(truncate(path.c_str(), sizeof(elf) + 0xFFFFLL * 0x4000), 0);
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    long before = usage.ru_maxrss;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunningVersion(path), kNoRecord);
    getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss - before, 16 * 1024);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(took).count(), 2000);
}

}  // namespace
