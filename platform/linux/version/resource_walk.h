// The walk over a compiled .res image's entries.
#pragma once

#include <cstdint>

#include "byte_reader.h"

// Finds the RT_VERSION entry with id 1 among the .res entries that fill
// size bytes from base; reports where its data starts and how long it is.
// Returns 0, ENOENT when the entries end without it, EBADMSG when an entry
// header is malformed, or the reader's error.
int FindVersionEntry(ByteReader* res, uint64_t base, uint64_t size, uint64_t* data,
                     uint64_t* length);
