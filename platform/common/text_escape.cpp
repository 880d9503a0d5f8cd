#include "text_escape.h"

#include <cstring>

// Control bytes become \xHH and a backslash \\; the text ends at a NUL.
void CopyEscapedText(char* field, size_t fieldSize, const char* text, size_t length)
{
    if (fieldSize == 0) {
        return;
    }
    static const char kHex[] = "0123456789abcdef";
    size_t used = 0;
    for (size_t i = 0; i < length && text[i] != '\0'; ++i) {
        unsigned char byte = static_cast<unsigned char>(text[i]);
        char piece[4] = {static_cast<char>(byte), 0, 0, 0};
        size_t size = 1;
        if (byte < 0x20 || byte == 0x7f) {
            piece[0] = '\\';
            piece[1] = 'x';
            piece[2] = kHex[byte >> 4];
            piece[3] = kHex[byte & 0xf];
            size = 4;
        } else if (byte == '\\') {
            piece[1] = '\\';
            size = 2;
        }
        if (used + size > fieldSize - 1) {
            break;
        }
        memcpy(field + used, piece, size);
        used += size;
    }
    field[used] = '\0';
}
