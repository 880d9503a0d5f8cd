// The walk over a compiled .res image's entries to the version record.
#include "resource_walk.h"

#include <cerrno>

#include "posix.h"

namespace {

const uint16_t kResourceTypeVersion = 16;
const uint16_t kVersionResourceId = 1;

// Skips a TYPE or NAME field of the .res entry header at entry: an ordinal
// (0xFFFF and a word) or a terminated UTF-16 name. Reports the ordinal, or
// 0 for names. Returns 0, EBADMSG when the field runs past the header, or
// the reader's error.
int SkipResourceName(ByteReader* res, uint64_t entry, uint64_t headerSize, uint64_t* pos,
                     uint16_t* ordinal)
{
    uint16_t unit = 0;
    if (headerSize - *pos < 2) {
        return EBADMSG;
    }
    if (int error = res->ReadWord(entry + *pos, &unit); error != 0) {
        return error;
    }
    if (unit == 0xFFFF) {
        if (headerSize - *pos < 4) {
            return EBADMSG;
        }
        if (int error = res->ReadWord(entry + *pos + 2, ordinal); error != 0) {
            return error;
        }
        *pos += 4;
        return 0;
    }
    *ordinal = 0;
    while (headerSize - *pos >= 2) {
        if (int error = res->ReadWord(entry + *pos, &unit); error != 0) {
            return error;
        }
        *pos += 2;
        if (unit == 0) {
            return 0;
        }
    }
    return EBADMSG;
}

}  // namespace

int FindVersionEntry(ByteReader* res, uint64_t base, uint64_t size, uint64_t* data,
                     uint64_t* length)
{
    // Entry header: DataSize, HeaderSize, TYPE, NAME, padding, then
    // DataVersion, MemoryFlags, LanguageId, Version, Characteristics.
    const uint64_t kFixedTail = 16;
    uint64_t pos = 0;
    while (size - pos >= 8) {
        uint64_t entry = base + pos;
        uint8_t sizes[8];
        if (int error = res->Read(entry, sizeof(sizes), sizes); error != 0) {
            return error;
        }
        uint64_t dataSize = ReadLittle32(sizes);
        uint64_t headerSize = ReadLittle32(sizes + 4);
        if (headerSize < 8 + 4 + 4 + kFixedTail || headerSize > size - pos ||
            dataSize > size - pos - headerSize) {
            return EBADMSG;
        }
        uint64_t field = 8;
        uint16_t type = 0;
        uint16_t id = 0;
        if (int error = SkipResourceName(res, entry, headerSize, &field, &type); error != 0) {
            return error;
        }
        if (int error = SkipResourceName(res, entry, headerSize, &field, &id); error != 0) {
            return error;
        }
        uint64_t tail = (field + 3) & ~uint64_t{3};
        if (tail > headerSize || headerSize - tail < kFixedTail) {
            return EBADMSG;
        }
        if (type == kResourceTypeVersion && id == kVersionResourceId) {
            *data = entry + headerSize;
            *length = dataSize;
            return 0;
        }
        uint64_t next = headerSize + ((dataSize + 3) & ~uint64_t{3});
        if (next > size - pos) {
            return EBADMSG;
        }
        pos += next;
    }
    return ENOENT;
}
