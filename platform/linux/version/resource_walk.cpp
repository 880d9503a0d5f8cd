// The walk over a compiled .res image's entries to the version record.
#include "resource_walk.h"

#include "version_file.h"

namespace {

const uint16_t kResourceTypeVersion = 16;
const uint16_t kVersionResourceId = 1;

// Skips a TYPE or NAME field of the .res entry header at entry: an ordinal
// (0xFFFF and a word) or a terminated UTF-16 name. Reports the ordinal, or
// 0 for names.
bool SkipResourceName(ByteReader* res, uint64_t entry, uint64_t headerSize, uint64_t* pos,
                      uint16_t* ordinal)
{
    uint16_t unit = 0;
    if (headerSize - *pos < 2 || !res->ReadWord(entry + *pos, &unit)) {
        return false;
    }
    if (unit == 0xFFFF) {
        if (headerSize - *pos < 4 || !res->ReadWord(entry + *pos + 2, ordinal)) {
            return false;
        }
        *pos += 4;
        return true;
    }
    *ordinal = 0;
    while (headerSize - *pos >= 2) {
        if (!res->ReadWord(entry + *pos, &unit)) {
            return false;
        }
        *pos += 2;
        if (unit == 0) {
            return true;
        }
    }
    return false;
}

uint64_t ReadLittle32(const uint8_t* at)
{
    return uint64_t{at[0]} | uint64_t{at[1]} << 8 | uint64_t{at[2]} << 16 | uint64_t{at[3]} << 24;
}

}  // namespace

// Finds the RT_VERSION entry with id 1 among the .res entries that fill
// size bytes from base; reports where its data starts and how long it is.
bool FindVersionEntry(ByteReader* res, uint64_t base, uint64_t size, uint64_t* data,
                      uint64_t* length)
{
    // Entry header: DataSize, HeaderSize, TYPE, NAME, padding, then
    // DataVersion, MemoryFlags, LanguageId, Version, Characteristics.
    const uint64_t kFixedTail = 16;
    uint64_t pos = 0;
    while (size - pos >= 8) {
        uint64_t entry = base + pos;
        uint8_t sizes[8];
        if (!res->Read(entry, sizeof(sizes), sizes)) {
            return false;
        }
        uint64_t dataSize = ReadLittle32(sizes);
        uint64_t headerSize = ReadLittle32(sizes + 4);
        if (headerSize < 8 + 4 + 4 + kFixedTail || headerSize > size - pos ||
            dataSize > size - pos - headerSize) {
            return false;
        }
        uint64_t field = 8;
        uint16_t type = 0;
        uint16_t id = 0;
        if (!SkipResourceName(res, entry, headerSize, &field, &type) ||
            !SkipResourceName(res, entry, headerSize, &field, &id)) {
            return false;
        }
        uint64_t tail = (field + 3) & ~uint64_t{3};
        if (tail > headerSize || headerSize - tail < kFixedTail) {
            return false;
        }
        if (type == kResourceTypeVersion && id == kVersionResourceId) {
            *data = entry + headerSize;
            *length = dataSize;
            return true;
        }
        uint64_t next = headerSize + ((dataSize + 3) & ~uint64_t{3});
        if (next > size - pos) {
            return false;
        }
        pos += next;
    }
    return false;
}

bool FindVersionResource(const uint8_t* res, size_t size, const uint8_t** data, size_t* length)
{
    ByteReader image(res, size);
    uint64_t offset = 0;
    uint64_t found = 0;
    if (res == nullptr || !FindVersionEntry(&image, 0, size, &offset, &found)) {
        return false;
    }
    *data = res + offset;
    *length = static_cast<size_t>(found);
    return true;
}
