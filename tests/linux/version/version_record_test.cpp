// The version record walker on the compiled record and on damaged ones.
#include "version_record.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"
#include "version_support.h"

namespace {

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

}  // namespace
