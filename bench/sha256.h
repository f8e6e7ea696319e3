#pragma once
// SHA-256 of a byte string, for naming the design file a run used.

#include <string>
#include <string_view>

// The digest as 64 lower-case hex digits.
std::string sha256_hex(std::string_view bytes);
