// The VS_VERSION_INFO tree: walking it, and the block layout that
// GetFileVersionInfoA fills and VerQueryValueA reads. Nothing here trusts
// the bytes it is given; every read stays inside the stated size.
#pragma once

#include <cstddef>
#include <cstdint>

#include "os_api.h"

// The fixed part that the path "\" yields.
struct VS_FIXEDFILEINFO {
    DWORD dwSignature;
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
};

const DWORD kFixedFileInfoSignature = 0xFEEF04BD;

// Where a value sits inside a record: byte offset and byte count, and
// whether it is UTF-16 text or the root's fixed part.
struct VersionValue {
    size_t offset;
    size_t size;
    bool text;
    bool fixed;
};

// Finds the value under a backslash-separated key path ("\" alone is the
// root's fixed part). A path's bytes stand for the Latin-1 units of a key,
// whose ASCII letters match in either case. Returns 0,
// ENOENT when no path is given or no node answers to it, or EBADMSG when
// the record, a node on the way or the root's fixed part is malformed.
int FindVersionValue(const uint8_t* record, size_t size, const char* path, VersionValue* value);

// Measures the record at the start of data: the length its root node
// gives. Returns 0 or EBADMSG when there is no sound root within size.
int MeasureVersionRecord(const uint8_t* data, size_t size, size_t* length);

// Bytes a block needs for a record of recordLength bytes: the record and
// room for the narrow texts of all its values.
size_t VersionBlockSize(size_t recordLength);

// Copies a record measured by MeasureVersionRecord into a block of at least
// VersionBlockSize(recordLength) bytes and clears the spare area.
void FillVersionBlock(const uint8_t* record, size_t recordLength, uint8_t* block);

// VerQueryValueA on a block made by FillVersionBlock, with its BOOL: the
// public function is no more than this. Text values are
// converted to UTF-8 into the block's spare area, so the pointer lives as
// long as the block; the length counts bytes with the terminator.
BOOL QueryVersionBlock(uint8_t* block, const char* path, void** value, UINT* length);
