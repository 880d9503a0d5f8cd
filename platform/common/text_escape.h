// Texts from outside reach the report only in a form that cannot break a
// line or drive the terminal.
#pragma once

#include <cstddef>

// Copies length bytes of text into a field of fieldSize bytes, terminated, outside bytes escaped;
// never splits an escape.
void CopyEscapedText(char* field, size_t fieldSize, const char* text, size_t length);
