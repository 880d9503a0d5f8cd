// Text fields the lease readers share: dotted quads and the fixed starts
// and ends of file names (decimal numbers are posix.h's).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "adapter_facts.h"

// A strict dotted quad: four decimal fields, no leading zeros, nothing
// around them. 0, or EBADMSG when the text is none; *address is then left
// as it was.
int ParseIpv4(std::string_view text, Ipv4Bytes* address);

bool HasPrefix(std::string_view text, std::string_view prefix);
bool HasSuffix(std::string_view text, std::string_view suffix);
