// Escaping of outside texts into fixed record fields.
#include "text_escape.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(CopyEscapedText, EscapesControlsAndCutsOnlyBetweenUnits)
{
    struct Case {
        const char* what;
        std::string text;
        size_t fieldSize;
        std::string want;
    };
    const Case cases[] = {
        {"plain text fits", "eth0", 16, "eth0"},
        {"field exactly full", std::string(15, 'a'), 16, std::string(15, 'a')},
        {"one byte over is cut", std::string(16, 'a'), 16, std::string(15, 'a')},
        {"line feed and forged line", "up\nIndex: 0x63", 64, "up\\x0aIndex: 0x63"},
        {"escape sequence", "\x1b[31mred", 64, "\\x1b[31mred"},
        {"DEL and the last C0 byte", "a\x7f\x1f", 64, "a\\x7f\\x1f"},
        {"backslash doubled", "a\\x0a", 64, "a\\\\x0a"},
        {"NUL inside the length", std::string("a\0b", 3), 64, "a\\x00b"},
        {"escape exactly fills", "abc\n", 8, "abc\\x0a"},
        {"escape one short is left out", "abcd\n", 8, "abcd"},
        {"nothing after a dropped escape", "ab\nc", 6, "ab"},
        {"backslash pair not split", "abcdef\\", 8, "abcdef"},
        {"UTF-8 untouched", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa1", 64,
         "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa1"},
        {"UTF-8 sequence not split", "abcd\xe2\x82\xac", 7, "abcd"},
        {"C1 control as UTF-8",
         "a\xc2\x9b"
         "1m",
         64, "a\\xc2\\x9b1m"},
        {"first printable after C1", "\xc2\xa0", 64, "\xc2\xa0"},
        {"last C1 control", "\xc2\x9f", 64, "\\xc2\\x9f"},
        // Each end of each lead byte range: a sequence is never split, a
        // byte outside the ranges leads none.
        {"highest two-byte lead", "a\xdf\xbf", 3, "a"},
        {"lowest three-byte lead", "a\xe0\xa0\x80", 4, "a"},
        {"highest three-byte lead", "a\xef\xbf\xbf", 4, "a"},
        {"lowest four-byte lead", "a\xf0\x90\x80\x80", 5, "a"},
        {"highest four-byte lead", "a\xf4\x8f\xbf\xbf", 5, "a"},
        {"below the lead bytes", "a\xc1\xbf", 64, "a\\xc1\\xbf"},
        {"above the lead bytes", "\xf5\x8f", 64, "\\xf5\\x8f"},
        {"stray bytes, one cut", "\xe9t\xc3", 8, "\\xe9t"},
        {"first byte past ASCII, lone CSI, 0xff", "\x7e\x80\x9b\xff", 64, "~\\x80\\x9b\\xff"},
        {"past U+10FFFF", "\xf4\x90\x80\x80", 64, "\\xf4\\x90\\x80\\x80"},
        {"overlong", "\xe0\x9f\xbf\xc0\xaf", 64, "\\xe0\\x9f\\xbf\\xc0\\xaf"},
        {"surrogate, last below", "\xed\xa0\x80\xed\x9f\xbf", 64, "\\xed\\xa0\\x80\xed\x9f\xbf"},
        {"truncated at the end", "a\xf0\x9f\x93", 64, "a\\xf0\\x9f\\x93"},
        {"empty text", "", 4, ""},
        {"one-byte field holds only the end", "abc", 1, ""},
    };
    for (const Case& c : cases) {
        char field[80];
        memset(field, '#', sizeof(field));
        CopyEscapedText(field, c.fieldSize, c.text.data(), c.text.size());
        EXPECT_EQ(c.want, std::string(field)) << c.what;
        // Nothing written past the field.
        EXPECT_EQ('#', field[c.fieldSize]) << c.what;
    }
}
