#pragma once
// A check of a TOML text before it reaches the parser: outside strings and
// comments TOML allows only ASCII, and the parser's own test of a non-ASCII
// character there (is it white space?) is undefined for many code points in
// the toml++ this program is built with. Such a character is reported here
// instead, at its line and column, and the parser never sees the text.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A non-ASCII character outside every string and comment.
struct TOML_stray_character {
    int32_t line = 1;     // 1-based line
    int32_t column = 1;   // 1-based column, counted in characters
    std::string message;  // what was found, e.g. "unexpected character U+00E9 ..."
};

// The first non-ASCII character of text outside its strings and comments,
// if any.
std::optional<TOML_stray_character> find_stray_character(std::string_view text);
