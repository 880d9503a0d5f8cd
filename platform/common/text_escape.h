// Texts from outside (kernel, system, files) made safe for a line-based
// report: control bytes, invisible and reordering Unicode format controls,
// bytes of no well-formed UTF-8 sequence and the backslash become visible
// escapes.
#pragma once

#include <cstddef>

// Copies length bytes of text into a field of fieldSize bytes, terminated, outside bytes escaped;
// never splits an escape.
void CopyEscapedText(char* field, size_t fieldSize, const char* text, size_t length);
