#include <elf.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <link.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "byte_reader.h"
#include "descriptor_count.h"
#include "resource_walk.h"
#include "test_support.h"
#include "version_file.h"
#include "version_record.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// The build reads ELF files of its own class and byte order only: those
// the tests make are of the same, written through the native structures.
using ElfHeader = ElfW(Ehdr);
using SectionHeader = ElfW(Shdr);
const uint8_t kElfClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
const uint8_t kElfData = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;
// Where a member of an ELF header lies, and its width.
#define ELF_FIELD(type, member) offsetof(type, member), sizeof(type::member)

// A native integer of 2, 4 or 8 bytes at offset.
uint64_t GetField(const uint8_t* at, size_t width)
{
    uint16_t half = 0;
    uint32_t word = 0;
    uint64_t wide = 0;
    return width == 2   ? (memcpy(&half, at, 2), half)
           : width == 4 ? (memcpy(&word, at, 4), word)
                        : (memcpy(&wide, at, 8), wide);
}

void PutField(uint8_t* at, size_t width, uint64_t value)
{
    uint16_t half = (uint16_t)value;
    uint32_t word = (uint32_t)value;
    memcpy(at, width == 2 ? (void*)&half : width == 4 ? (void*)&word : (void*)&value, width);
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& data)
{
    std::ofstream(path, std::ios::binary)
        .write((const char*)data.data(), (std::streamsize)data.size());
}

// The version entry's data among the first size bytes of a .res image,
// read the way the tool reads its section. Returns 0 or the walk's error.
int FindInRes(const Bytes& res, size_t size, Bytes* record)
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

Bytes CompiledRecord()
{
    Bytes res = ReadFile(OSTREL_RES_FILE), record;
    EXPECT_EQ(0, FindInRes(res, res.size(), &record));
    return record;
}

void PutWords(Bytes* record, size_t offset, const std::vector<uint16_t>& words)
{
    for (uint16_t word : words) {
        (*record)[offset++] = (uint8_t)word;
        (*record)[offset++] = (uint8_t)(word >> 8);
    }
}

// Offset of the node whose key is the given ASCII text.
size_t NodeAt(const Bytes& record, const char* key)
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

// The banner's lookup, the string table's twelve entries in order, the
// fixed part and the translation.
TEST(VersionRecord, CompiledRecordAnswersItsLookups)
{
    const Bytes record = CompiledRecord();
    Block block(record);
    const char* value = NULL;
    UINT length = 0;
    ASSERT_TRUE(block.Query(kFileVersion, &value, &length));
    EXPECT_STREQ(value, "1, 0, 0, 2");
    EXPECT_EQ(length, 11u);
    EXPECT_EQ(block.Text("StringFileInfo\\\\000004B0\\ProductVersion"), "1, 0, 0, 1");
    EXPECT_EQ(block.Text("\\StringFileInfo\\000004B0\\ProductName"), "Zuvi\xC2\xAE Tool Ostrel");
    EXPECT_EQ(block.Text("\\StringFileInfo\\000004B0\\PrivateBuild"),
              "Zuvi\xC2\xAE Ostrel is a tool to dump IP_ADAPTER_INFO for all available NICs");
    EXPECT_EQ(block.Text("\\StringFileInfo\\000004b0\\OriginalFilename"), "Ostrel.exe");
    EXPECT_EQ(block.Text("\\StringFileInfo\\000004b0\\SpecialBuild"), "Ostrel");
    // Earlier texts survive later queries.
    EXPECT_STREQ(value, "1, 0, 0, 2");

    const char* keys[] = {"Comments",     "CompanyName",    "FileDescription", "FileVersion",
                          "InternalName", "LegalCopyright", "LegalTrademarks", "OriginalFilename",
                          "PrivateBuild", "ProductName",    "ProductVersion",  "SpecialBuild"};
    size_t previous = 0;
    for (const char* key : keys) {
        VersionValue found;
        std::string path = std::string("\\StringFileInfo\\000004b0\\") + key;
        ASSERT_EQ(0, FindVersionValue(record.data(), record.size(), path.c_str(), &found)) << key;
        EXPECT_TRUE(found.text && found.offset > previous) << key;
        previous = found.offset;
    }

    ASSERT_TRUE(block.Query("\\", &value, &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    // Signature, structure version, file and product versions, flags mask
    // and flags, OS, type, subtype, and a date of none.
    std::vector<uint32_t> fixed(sizeof(VS_FIXEDFILEINFO) / 4);
    memcpy(fixed.data(), value, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed, (std::vector<uint32_t>{kFixedFileInfoSignature, 0x10000, 0x10000, 2, 0x10000,
                                            1, 0x3F, 0x28, 0x40004, 1, 0, 0, 0}));

    ASSERT_TRUE(block.Query("\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(Bytes(value, value + 4), (Bytes{0x00, 0x00, 0xB0, 0x04}));
    EXPECT_FALSE(VerQueryValueA(NULL, "\\", (void**)&value, &length) ||
                 VerQueryValueA(block.bytes, NULL, (void**)&value, &length) ||
                 VerQueryValueA(block.bytes, "\\", NULL, &length));
}

// A path's bytes are the Latin-1 units of a key; only ASCII letters fold.
// A string table under another language answers to that language only.
TEST(VersionRecord, KeysMatchTheirLatin1Spelling)
{
    const Bytes good = CompiledRecord();
    const struct {
        const char* node;
        std::vector<uint16_t> units;  // in place of its key's first ones
        const char* path;             // under \StringFileInfo
        const char* text;
    } cases[] = {{"FileVersion", {'a', 0xE9, 'Z'}, "000004B0\\A\xE9zeVersion", kRecord},
                 {"FileVersion", {0xC9}, "000004B0\\\xE9ileVersion", "<none>"},
                 {"FileVersion", {0x1E9}, "000004B0\\\xE9ileVersion", "<none>"},
                 {"FileVersion", {'@'}, "000004B0\\`ileVersion", "<none>"},
                 {"FileVersion", {'['}, "000004B0\\{ileVersion", "<none>"},
                 {"000004b0", {'0', '4', '0', '9'}, "000004B0\\FileVersion", "<none>"},
                 {"000004b0", {'0', '4', '0', '9'}, "040904B0\\FileVersion", kRecord}};
    for (const auto& c : cases) {
        Bytes record = good;
        PutWords(&record, NodeAt(good, c.node) + 6, c.units);
        std::string path = std::string("\\StringFileInfo\\") + c.path;
        EXPECT_EQ(Block(record).Text(path.c_str()), c.text) << c.path << " " << c.units[0];
    }
}

// Each damage must make the lookup fail (or stay bounded) without a read
// outside the record; the sanitizer build checks the latter.
TEST(VersionRecord, DamagedRecordsAreRejected)
{
    const Bytes good = CompiledRecord();
    size_t stringFileInfo = NodeAt(good, "StringFileInfo"), table = NodeAt(good, "000004b0");
    size_t fileVersion = NodeAt(good, "FileVersion");
    uint16_t tableLength = (uint16_t)(good[table] | good[table + 1] << 8);
    struct Damage {
        const char* what;
        size_t offset;
        uint16_t word;
        int error = EBADMSG;
        const char* path = kFileVersion;
        const char* text = "<none>";  // the file version's
    } damages[] = {
        {"entry length below its header", fileVersion, 5},
        {"entry length odd and inside the key", fileVersion, 9},
        {"key without terminator inside the entry", fileVersion, 6 + 2 * 11},
        {"entry longer than its table", fileVersion, (uint16_t)(tableLength + 4)},
        {"table longer than its parent", table, 0xFFF0},
        {"table ending a node header into its first entry", table, 6 + 2 * 9 + 6},
        {"table ending within a node header of its first entry", table, 6 + 2 * 9 + 5, ENOENT},
        {"parent longer than the record", stringFileInfo, 0xFFF0},
        {"value longer than its entry", fileVersion + 2, 200},
        {"unknown value type", fileVersion + 4, 2},
        {"fixed part of another signature", 40, 0x04BC, EBADMSG, "\\", kRecord},
        {"fixed part a byte short", 2, 51, EBADMSG, "\\", kRecord},
        {"fixed part of text", 4, 1, EBADMSG, "\\"},
        {"root misnamed", 6, 'X', EBADMSG, "\\"},
        {"root longer than the record", 0, (uint16_t)(good.size() + 1), EBADMSG, "\\"},
    };
    VersionValue value;
    for (const Damage& damage : damages) {
        Bytes record = good;
        PutWords(&record, damage.offset, {damage.word});
        EXPECT_EQ(damage.error, FindVersionValue(record.data(), record.size(), damage.path, &value))
            << damage.what;
        Block block(record);
        EXPECT_EQ(block.Text(damage.path), "<none>") << damage.what;
        EXPECT_EQ(block.Text(kFileVersion), damage.text) << damage.what;
    }
    // The shortest whole entry: its key's terminator ends it, with no value.
    Bytes bare = good;
    PutWords(&bare, fileVersion, {6 + 2 * 12, 0});
    ASSERT_EQ(0, FindVersionValue(bare.data(), bare.size(), kFileVersion, &value));
    EXPECT_EQ(value.offset, fileVersion + 6 + 2 * 12);
    EXPECT_EQ(value.size, 0u);
    size_t length = 0;
    EXPECT_EQ(EBADMSG, MeasureVersionRecord(NULL, 0, &length));
    EXPECT_EQ(ENOENT, FindVersionValue(good.data(), good.size(), NULL, &value));
    for (size_t size = 0; size < 6; size++) {  // shorter than a node's header
        GuardedBytes start(Bytes(good.begin(), good.begin() + size));
        EXPECT_EQ(EBADMSG, MeasureVersionRecord(start.data(), size, &length)) << size;
    }
}

// UTF-16 texts become UTF-8 at each length's edges, an unpaired surrogate
// becoming U+FFFD; a value without terminator is cut at its length.
TEST(VersionRecord, TextsAreConvertedAndCutAtTheirLength)
{
    const Bytes good = CompiledRecord();
    size_t fileVersion = NodeAt(good, "FileVersion");
    struct Case {
        std::vector<uint16_t> units;
        const char* text;
        size_t count = 0;  // units the value's length gives, when fewer
    } cases[] = {
        {{'1', ',', ' ', '0'}, "1, 0"},
        {{'1', 0, '2'}, "1"},
        {{0x7F, 0x80}, "\x7F\xC2\x80"},
        {{0x7FF, 0x800}, "\xDF\xBF\xE0\xA0\x80"},
        {{0xD7FF, 0xDC00, 0xE000, 0xFFFF}, "\xED\x9F\xBF\xEF\xBF\xBD\xEE\x80\x80\xEF\xBF\xBF"},
        {{0xD800, 0xDC00}, "\xF0\x90\x80\x80"},
        {{0xD83D, 0xDE00, 'x'}, "\xF0\x9F\x98\x80x"},
        {{0xDBFF, 0xDFFF}, "\xF4\x8F\xBF\xBF"},
        {{0xDFFF, 0xDBFF, 0xE000}, "\xEF\xBF\xBD\xEF\xBF\xBD\xEE\x80\x80"},
        {{0xDC00, 0xDC00, 0xD800, 0xDBFF}, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {{0xD800, 0xDC00}, "\xEF\xBF\xBD", 1},  // cut between a pair's halves
    };
    for (const Case& c : cases) {
        Bytes record = good;
        PutWords(&record, fileVersion + 2, {(uint16_t)(c.count != 0 ? c.count : c.units.size())});
        PutWords(&record, fileVersion + 32, c.units);  // after the key, aligned
        EXPECT_EQ(Block(record).Text(kFileVersion), c.text) << c.units.size();
    }
}

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

TEST_F(VersionFile, RunningExecutableCarriesTheRecordAndNamesLeadToIt)
{
    ASSERT_TRUE(exe[EI_CLASS] == kElfClass && exe[EI_DATA] == kElfData);
    // This test carries the record as the tool does.
    DWORD size = GetFileVersionInfoSizeA("Ostrel.exe", NULL);
    ASSERT_GT(size, 0u);
    std::vector<uint8_t> block(size, 0xEE);
    EXPECT_FALSE(GetFileVersionInfoA("", 0, size - 1, block.data()));  // a byte short
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    ASSERT_TRUE(GetFileVersionInfoA("", 0, size, block.data()));
    EXPECT_EQ(std::count(block.begin(), block.end(), 0xEE), 0);  // the spare area cleared
    EXPECT_FALSE(GetFileVersionInfoA("", 0, size, NULL));
    EXPECT_EQ(0u, GetFileVersionInfoSizeA(NULL, NULL));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    // Another file is never read, whatever it carries.
    EXPECT_EQ(FileVersion(OSTREL_EXE), kNoFile);

    // The file at copy stands in for the running one.
    std::string copy = Write("Ostrel", exe);
    // A name one byte short of the path limit is looked up; one as long as
    // it is not, though the name without ".exe" would fit.
    std::string padded = dir + std::string(PATH_MAX - 11 - dir.size(), '/') + "Ostrel.exe";
    // Nor does a file beside it make a name lead elsewhere: the Windows
    // build, or a copy carrying another version.
    Write("Ostrel.exe", Bytes{'M', 'Z', 0x90, 0});
    Bytes forged = exe;
    Bytes version = {'1', 0, ',', 0, ' ', 0, '0', 0, ',', 0, ' ', 0, '0', 0, ',', 0, ' ', 0, '2'};
    auto at = std::search(forged.begin(), forged.end(), version.begin(), version.end());
    ASSERT_NE(at, forged.end());
    *at = '6';
    EXPECT_EQ(RunningVersion(Write("Ostrel.EXE", forged)), "6, 0, 0, 2");
    ASSERT_EQ(symlink(copy.c_str(), (dir + "/link").c_str()), 0);
    ASSERT_EQ(symlink((dir + "/Ostrel.EXE").c_str(), (dir + "/elsewhere").c_str()), 0);
    ASSERT_EQ(link(copy.c_str(), (dir + "/hard").c_str()), 0);
    const struct {
        std::string name;
        const char* version;
    } names[] = {{copy, kRecord},
                 {copy + ".eXe", kRecord},
                 {copy + ".exe", kRecord},
                 {copy + ".EXE", kRecord},
                 {copy + ".com.exe", kNoFile},
                 {copy + ".com", kNoFile},
                 {padded, kRecord},
                 {"/" + padded, kNoFile},
                 {dir + "/hard.exe", kRecord},
                 {dir + "/link.exe", kRecord},
                 {dir + "/elsewhere", kNoFile},
                 {dir + "/Ostrel.EXE.exe", kNoFile},
                 {dir, kNoFile},
                 {"Ostrel.exe", kRecord},  // a bare name, or none, is the running file
                 {"", kRecord}};
    for (const auto& name : names) {
        EXPECT_EQ(RunningVersion(copy, name.name), name.version) << name.name;
    }
    EXPECT_EQ(RunningVersion(Write("text", Bytes(100, 'x'))), kNoRecord);
    // Out of descriptors, the lookup fails as such, never as "no record".
    int lowest = open("/dev/null", O_RDONLY);
    close(lowest);
    rlimit limit;
    getrlimit(RLIMIT_NOFILE, &limit);
    rlimit lowered = {(rlim_t)lowest, limit.rlim_max};
    setrlimit(RLIMIT_NOFILE, &lowered);
    EXPECT_EQ(FileVersion(""), "<none 4>");
    setrlimit(RLIMIT_NOFILE, &limit);
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

// Headers one byte short of their size, of it, and past it: an ELF file
// header of either class, and a .res entry header.
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
    const Bytes record = CompiledRecord();
    const uint32_t n = (uint32_t)record.size();
    const std::vector<uint16_t> version = {0xFFFF, 16, 0xFFFF, 1}, named = {'V', 0, 0xFFFF, 1};
    // Each after an empty entry, as images begin.
    const struct {
        uint32_t header, data;
        std::vector<uint16_t> names;  // type, then name
        int cut;                      // bytes short of the whole image, or zeros past it
        int error;
    } entries[] = {{31, n, version, 0, EBADMSG},
                   {32, n, version, 0, 0},
                   {33, n, version, 0, 0},
                   {32, n, version, 1, EBADMSG},
                   {32, 0, version, (int)n, 0},
                   {32, n, version, (int)n + 1, EBADMSG},  // a header past the image
                   {32, 0x7F0000F0, version, 0, EBADMSG},
                   {32, n, named, 0, ENOENT},
                   {32, n, named, -7, ENOENT},  // too few bytes left for another entry
                   {32, n, named, -8, EBADMSG},
                   {32, n, {0xFFFF, 16, 'V', 0}, 0, ENOENT},
                   {32, 1, named, (int)n - 1, EBADMSG},  // no room for the data's padding
                   {32, n, {'V', 'V', 0, 0xFFFF, 1}, 0, EBADMSG},
                   {32, n, std::vector<uint16_t>(12, 'V'), 0, EBADMSG}};  // a type never ended
    for (const auto& entry : entries) {
        Bytes res(32 + entry.header), found;
        PutWords(&res, 0, {0, 0, 32, 0, 0xFFFF, 0, 0xFFFF, 0});
        PutWords(&res, 32,
                 {(uint16_t)entry.data, (uint16_t)(entry.data >> 16), (uint16_t)entry.header, 0});
        PutWords(&res, 40, entry.names);
        res.insert(res.end(), record.begin(), record.end());
        res.resize(res.size() - entry.cut);
        EXPECT_EQ(entry.error, FindInRes(res, res.size(), &found))
            << entry.header << " " << entry.data << " " << entry.cut;
        EXPECT_TRUE(entry.error != 0 ||
                    found == Bytes(record.begin(), record.begin() + entry.data));
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

// The reader against the file it reads, rewritten before each read: bytes
// at each edge of its size come back as the file holds them or fail, a
// read inside the window is served from it, one beyond fills it afresh, and
// a fill that fails (the file cut short, or a folder) leaves no window.
TEST_F(VersionFile, ReaderKeepsToItsSizeAndItsWindow)
{
    EXPECT_LT(sizeof(ByteReader), 128u);  // readers nest on a 16 KiB stack: no window inside
    const uint64_t size = 10000;
    const struct {
        uint64_t offset;
        size_t length;
        int error;
        bool fill = false;  // read from the file now rather than from the window
        size_t held = 12000;
    } reads[] = {
        {0, 8, 0, true},
        {4088, 8, 0},
        {0, 1, 0},
        {4089, 8, 0, true},
        {size - 1, 1, 0, true},
        {size, 0, 0},
        {size, 1, EBADMSG},
        {1, size, EBADMSG},
        {0, size, 0, true},
        {0, 8, 0, true},
        {4500, 8, EIO, false, 5000},
        {0, 8, 0, true, 5000},
    };
    auto bytes = [](size_t generation, uint64_t offset, size_t length) {
        Bytes data(length);
        for (size_t i = 0; i < length; i++) {
            data[i] = (uint8_t)((offset + i) * 7 + generation * 31);
        }
        return data;
    };
    int fd = open(Write("bytes", {}).c_str(), O_RDONLY);
    ByteReader reader(fd, size);
    size_t generation = 0, window = 0;
    Bytes got;
    for (const auto& read : reads) {
        Write("bytes", bytes(++generation, 0, read.held));
        got.assign(read.length, 0);
        EXPECT_EQ(read.error, reader.Read(read.offset, read.length, got.data())) << generation;
        window = read.fill && read.length <= 4096 ? generation : window;
        if (read.error == 0) {
            EXPECT_EQ(got, bytes(read.fill ? generation : window, read.offset, read.length))
                << generation;
        }
    }
    uint16_t word = 1;
    EXPECT_EQ(EBADMSG, reader.ReadWord(size - 1, &word));
    EXPECT_EQ(word, 0);
    EXPECT_EQ(EBADMSG, ReadElfVersionRecord(fd, &got));
    close(fd);
    fd = open(dir.c_str(), O_RDONLY);
    ByteReader folder(fd, 8192);
    EXPECT_EQ(EISDIR, folder.ReadWord(0, &word));
    EXPECT_EQ(ENOENT, ReadElfVersionRecord(fd, &got));
    close(fd);
    EXPECT_EQ(EBADF, ReadElfVersionRecord(-1, &got));
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

// A name swapped for a FIFO between the search and the open must not hold
// the lookup until some writer comes. A lookup takes well under a
// millisecond: when none ends for a quarter of a second, a watchdog plays
// the writer, so a fault fails the test instead of stalling it.
TEST_F(VersionFile, NameSwappedForAFifoNeverBlocks)
{
    std::string regular = Write("regular", exe), fifo = dir + "/fifo", name = dir + "/race";
    std::string staging = dir + "/staging";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> stop(false), blocked(false);
    std::atomic<long> lookups(0);
    std::thread swapper([&] {
        for (bool toFifo = false; !stop; toFifo = !toFifo) {
            unlink(staging.c_str());
            if (link(toFifo ? fifo.c_str() : regular.c_str(), staging.c_str()) == 0) {
                rename(staging.c_str(), name.c_str());
            }
        }
    });
    std::thread watchdog([&] {
        for (long seen = -1; !stop; seen = lookups) {
            for (int slice = 0; slice < 25 && !stop; slice++) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            if (lookups == seen && !stop) {
                blocked = true;
                int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
                if (writer >= 0) {
                    close(writer);
                }
            }
        }
    });
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    while (std::chrono::steady_clock::now() < end) {
        std::string found = RunningVersion(name);
        EXPECT_TRUE(found == "1, 0, 0, 2" || found == kNoFile || found == kNoRecord ||
                    found == "<unreadable>")
            << found;
        lookups++;
    }
    stop = true;
    swapper.join();
    watchdog.join();
    EXPECT_FALSE(blocked);
    EXPECT_GT(lookups, 100);
}

}  // namespace
