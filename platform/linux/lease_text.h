// Text helpers the lease readers share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The longest interface name the kernel gives (IFNAMSIZ without the
// terminator).
constexpr size_t kMaxInterfaceName = 15;

// Strict dotted-quad check; on success *canonical holds the re-printed form.
bool CanonicalIpv4(std::string_view text, std::string* canonical);

// Decimal digits only, no sign, no more than max.
bool ParseDecimal(std::string_view text, uint64_t max, uint64_t* value);
