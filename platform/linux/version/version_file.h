// Finding the version record of an executable on disk: the running file
// when the name leads back to it, the ELF section that carries the compiled
// resources, and the RT_VERSION entry among them. The file is untrusted
// (anyone may have built the copy that runs): every field is
// bounds-checked, only headers, the names compared and the record itself
// are read, and memory stays small whatever sizes the file claims.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The ELF section the build puts the compiled .res file into.
extern const char kResourceSectionName[];

// The limit on the resource section that is walked at all.
const size_t kMaxResourceSectionSize = 1024 * 1024;

// The walker takes a record's length from a 16-bit word, so no record the
// walker accepts is longer; nothing past this is read.
const size_t kMaxVersionRecordSize = 0xFFFF;

// Finds the version record of the running executable, the file open at
// running (the tool's own functions give /proc/self/exe), when name stands
// for it, and leaves the measured record in record. A bare or empty name
// stands for it; a name with a slash only when that path, or the path
// without a final ".exe" (any case), leads to the very file (same device
// and inode, through links). No other file is read.
// Returns 0, ENOENT when the name stands for no running file, ENODATA
// when that file has no sound record, or the errno value of a failure that
// keeps a record that may be there from us (LosesFacts).
int FindNamedVersionRecord(const char* name, const char* running, std::vector<uint8_t>* record);

// Reads the version record from the ELF file open at fd: a regular file
// of this build's own ELF class and byte order with exactly one resource
// section that holds a sound record. Returns 0, ENOENT when it is no
// regular file, is of another class or byte order, or has no resource
// section or no version entry in it, EBADMSG when it is no ELF file or its headers, its
// entries or its record are malformed, EOVERFLOW when the section is
// larger than is walked, or the system's errno (EIO when the file was cut
// short since its size was taken, never a record read from what is left).
int ReadElfVersionRecord(int fd, std::vector<uint8_t>* record);
