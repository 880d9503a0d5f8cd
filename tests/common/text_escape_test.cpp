// Escaping of outside texts into fixed record fields.
#include "text_escape.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The escaped form of a text as far as whole units of it fit in room bytes,
// worked out from the definition of well-formed UTF-8 (shortest form, no
// surrogates, at most U+10FFFF) and of what a terminal acts on (C0, DEL,
// C1) or shows other than as it stands (the invisible and bidirectional
// format controls, the line and paragraph separators, the byte order mark),
// apart from the code under test.
std::string Reference(const std::string& text, size_t room)
{
    static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    std::string out;
    for (size_t at = 0; at < text.size();) {
        const unsigned char* in = reinterpret_cast<const unsigned char*>(text.data()) + at;
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
        std::string unit = point == '\\' ? "\\\\" : text.substr(at, size);
        static const uint32_t kHidden[][2] = {{0, 0x1F},        {0x7F, 0x9F},     {0x200B, 0x200F},
                                              {0x2028, 0x202E}, {0x2060, 0x2069}, {0xFEFF, 0xFEFF}};
        bool hidden = !formed;
        for (const auto& range : kHidden) {
            hidden = hidden || (point >= range[0] && point <= range[1]);
        }
        if (hidden) {
            unit.clear();
            for (size_t i = 0; i < size; ++i) {
                char escape[5];
                snprintf(escape, sizeof(escape), "\\x%02x", in[i]);
                unit += escape;
            }
        }
        if (unit.size() > room - out.size()) {
            break;
        }
        out += unit;
        at += size;
    }
    return out;
}

// Copies text into a field of fieldSize bytes and checks it against the
// reference and that nothing was written past the field.
void ExpectAsReference(const std::string& text, size_t fieldSize)
{
    char field[80] = {};
    memset(field, '#', sizeof(field) - 1);
    CopyEscapedText(field, fieldSize, text.data(), text.size());
    std::string want = fieldSize == 0 ? std::string(79, '#') : Reference(text, fieldSize - 1);
    ASSERT_EQ(want, field) << testing::PrintToString(text) << " in " << fieldSize;
    ASSERT_EQ('#', field[fieldSize]) << testing::PrintToString(text) << " in " << fieldSize;
}

}  // namespace

TEST(CopyEscapedText, MatchesTheReferenceForEveryLeadAndSecondByteAndFieldSize)
{
    for (unsigned lead = 0; lead < 256; ++lead) {
        for (unsigned second = 0; second < 256; ++second) {
            for (char tail : {'\x7f', '\x80', '\xbf', '\xc0'}) {
                const char bytes[] = {char(lead), char(second), tail, tail, 'x'};
                ExpectAsReference(std::string(bytes, sizeof(bytes)), 64);
                ExpectAsReference(std::string(bytes, 2), 64);
            }
        }
    }
    // Every code point of the multilingual plane, through the format
    // controls, alone and cut by the field.
    for (uint32_t point = 0x80; point < 0x10000; ++point) {
        std::string text;
        if (point < 0x800) {
            text = {char(0xC0 | point >> 6), char(0x80 | (point & 0x3F))};
        } else {
            text = {char(0xE0 | point >> 12), char(0x80 | (point >> 6 & 0x3F)),
                    char(0x80 | (point & 0x3F))};
        }
        ExpectAsReference(text + "x", 64);
        ExpectAsReference(text, 12);
        ExpectAsReference(text, 4);
    }
    // Escapes, doubled backslashes and sequences at every place a field can end.
    for (const std::string& text : {std::string(16, 'a'), std::string("ab\ncd\\"), std::string(""),
                                    std::string("a\xe2\x82\xac\xc2\x9b\xf0\x9f\x93\xa1")}) {
        for (size_t fieldSize = 0; fieldSize <= 24; ++fieldSize) {
            ExpectAsReference(text, fieldSize);
        }
    }
}
