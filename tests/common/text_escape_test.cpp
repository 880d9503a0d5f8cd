// Escaping of outside texts into fixed record fields.
#include "text_escape.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The escaped form of a whole text, worked out from the definition of
// well-formed UTF-8 (shortest form, no surrogates, at most U+10FFFF) and of
// what a terminal acts on (C0, DEL, C1), apart from the code under test.
std::string Reference(const std::string& text)
{
    static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    std::string out;
    for (size_t at = 0; at < text.size();) {
        const unsigned char* in = reinterpret_cast<const unsigned char*>(text.data()) + at;
        // Leading one bits give the length; a byte past 0xF7 or below 0xC0 leads nothing.
        size_t size = in[0] >= 0xF8 ? 1 : 1 + (in[0] >= 0xC0) + (in[0] >= 0xE0) + (in[0] >= 0xF0);
        uint32_t point = size == 1 ? in[0] : in[0] & (0x7F >> size);
        bool formed = size <= text.size() - at && (size > 1 || in[0] < 0x80);
        for (size_t i = 1; i < size && formed; ++i) {
            formed = (in[i] & 0xC0) == 0x80;
            point = point << 6 | (in[i] & 0x3F);
        }
        formed = formed && point >= kLeast[size] && point <= 0x10FFFF &&
                 (point < 0xD800 || point > 0xDFFF);
        size = formed ? size : 1;
        if (!formed || point < 0x20 || (point >= 0x7F && point < 0xA0)) {
            for (size_t i = 0; i < size; ++i) {
                char escape[5];
                snprintf(escape, sizeof(escape), "\\x%02x", in[i]);
                out += escape;
            }
        } else {
            out += point == '\\' ? std::string("\\\\") : text.substr(at, size);
        }
        at += size;
    }
    return out;
}

}  // namespace

TEST(CopyEscapedText, EveryLeadAndSecondByteMatchesTheReference)
{
    char field[64];
    for (unsigned lead = 0; lead < 256; ++lead) {
        for (unsigned second = 0; second < 256; ++second) {
            for (unsigned tail : {0x7Fu, 0x80u, 0xBFu, 0xC0u}) {
                const char bytes[] = {char(lead), char(second), char(tail), char(tail), 'x'};
                for (size_t length : {sizeof(bytes), size_t{2}}) {
                    std::string text(bytes, length);
                    CopyEscapedText(field, sizeof(field), text.data(), text.size());
                    ASSERT_EQ(Reference(text), field) << lead << " " << second << " " << tail;
                }
            }
        }
    }
}

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
        {"NUL inside the length", std::string("a\0b", 3), 64, "a\\x00b"},
        {"escape exactly fills", "abc\n", 8, "abc\\x0a"},
        {"escape one short is left out", "abcd\n", 8, "abcd"},
        {"nothing after a dropped escape", "ab\nc", 6, "ab"},
        {"backslash pair not split", "abcdef\\", 8, "abcdef"},
        {"UTF-8 sequence not split", "abcd\xe2\x82\xac", 7, "abcd"},
        {"empty text", "", 4, ""},
        {"one-byte field holds only the end", "abc", 1, ""},
        {"no field at all", "abc", 0, std::string(79, '#')},
    };
    for (const Case& c : cases) {
        char field[80] = {};
        memset(field, '#', sizeof(field) - 1);
        CopyEscapedText(field, c.fieldSize, c.text.data(), c.text.size());
        EXPECT_EQ(c.want, std::string(field)) << c.what;
        // Nothing written past the field.
        EXPECT_EQ('#', field[c.fieldSize]) << c.what;
    }
}
