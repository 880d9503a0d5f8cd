// The run sequence and the operations it is built from.
#pragma once

#include <cstddef>

#include "platform.h"

// The whole tool: banner, adapter query, report, prompt. invocationName is
// the first element of the argument vector. Returns the exit status.
int RunOstrel(const char* invocationName);

// Writes the version text of the executable named by invocationName into
// text (always terminated, escaped, cut to fit), or the fallback "0, 0, 0, 0".
void ReadOwnFileVersion(const char* invocationName, char* text, size_t textSize);

// Writes the system's text for a result code, then a line feed.
void PrintResultText(DWORD code);
