#include "text_escape.h"

#include <cstdint>
#include <cstring>

namespace {

// Bytes of the well-formed UTF-8 sequence at text when the whole of it
// lies in [text, text + available); 1 for anything else, which then stands
// alone. The second byte's range excludes overlong forms, surrogates and
// code points past U+10FFFF.
size_t MeasureSequence(const unsigned char* text, size_t available)
{
    unsigned char lead = text[0];
    size_t size = lead >= 0xF0 && lead <= 0xF4   ? 4
                  : lead >= 0xE0 && lead <= 0xEF ? 3
                  : lead >= 0xC2 && lead <= 0xDF ? 2
                                                 : 1;
    if (size == 1 || size > available) {
        return 1;
    }
    unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (text[1] < low || text[1] > high) {
        return 1;
    }
    for (size_t i = 2; i < size; ++i) {
        if ((text[i] & 0xC0) != 0x80) {
            return 1;
        }
    }
    return size;
}

// The Unicode format controls that are invisible or reorder what follows:
// zero-width characters and marks, the line and paragraph separators, the
// bidirectional embeddings, overrides and isolates, and the byte order mark.
// A name carrying one can show as another on the terminal.
bool IsFormatControl(uint32_t point)
{
    return (point >= 0x200B && point <= 0x200F) || (point >= 0x2028 && point <= 0x202E) ||
           (point >= 0x2060 && point <= 0x2069) || point == 0xFEFF;
}

// The C0 controls, DEL, the C1 controls U+0080 to U+009F in their UTF-8
// form, the format controls above, and any byte of no well-formed
// sequence: what a terminal may act on (a lone 0x9B is CSI to some) or
// show as something else.
bool NeedsEscape(const unsigned char* unit, size_t size)
{
    if (size == 1) {
        return unit[0] < 0x20 || unit[0] >= 0x7F;
    }
    if (size == 2) {
        return unit[0] == 0xC2 && unit[1] < 0xA0;
    }
    return size == 3 && IsFormatControl((uint32_t)(unit[0] & 0x0F) << 12 |
                                        (uint32_t)(unit[1] & 0x3F) << 6 | (unit[2] & 0x3F));
}

}  // namespace

void CopyEscapedText(char* field, size_t fieldSize, const char* text, size_t length)
{
    if (fieldSize == 0) {
        return;
    }
    static const char kDigits[] = "0123456789abcdef";
    const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
    size_t room = fieldSize - 1;
    size_t used = 0;
    size_t at = 0;
    while (text != nullptr && at < length) {
        // One unit at a time (an escaped byte, a whole UTF-8 sequence or
        // one other byte), so that a cut never leaves half of one.
        size_t size = MeasureSequence(in + at, length - at);
        bool control = NeedsEscape(in + at, size);
        size_t needed = control ? 4 * size : in[at] == '\\' ? 2 : size;
        if (needed > room - used) {
            break;
        }
        if (control) {
            for (size_t i = 0; i < size; ++i) {
                char* escape = field + used + 4 * i;
                escape[0] = '\\';
                escape[1] = 'x';
                escape[2] = kDigits[in[at + i] >> 4];
                escape[3] = kDigits[in[at + i] & 0x0F];
            }
        } else if (in[at] == '\\') {
            field[used] = '\\';
            field[used + 1] = '\\';
        } else {
            memcpy(field + used, in + at, size);
        }
        used += needed;
        at += size;
    }
    field[used] = '\0';
}
