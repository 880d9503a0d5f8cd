// Finding the version record of an executable on disk: the name search,
// the ELF section that carries the compiled resources, and the RT_VERSION
// entry among them. File contents are untrusted and bounds-checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The ELF section the build puts the compiled .res file into.
extern const char kResourceSectionName[];

// The limit on the resource section that is read at all.
const size_t kMaxResourceSectionSize = 1024 * 1024;

// Resolves a name as the platform's library search does: a name with a
// directory part as given; a bare name in the running executable's
// directory, the current directory, then each PATH entry. A name ending in
// ".exe" (any case) that names no file is tried once more without it.
bool ResolveVersionFile(const char* name, std::string* path);

// Reads the named section's contents from the ELF file at path.
bool ReadElfSection(const std::string& path, const char* sectionName, std::vector<uint8_t>* data);

// Finds the data of the RT_VERSION entry with id 1 in a .res image.
bool FindVersionResource(const uint8_t* res, size_t size, const uint8_t** data, size_t* length);
