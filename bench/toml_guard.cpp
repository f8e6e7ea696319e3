#include "bench/toml_guard.h"

#include <cstdio>

namespace {
// The code point that starts at text[i] (a malformed sequence gives its
// first byte's value with is_byte set).
uint32_t code_point(std::string_view text, size_t i, bool& is_byte) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    int extra = 0;
    uint32_t value = 0;
    if ((lead & 0xE0u) == 0xC0u) {
        extra = 1;
        value = lead & 0x1Fu;
    } else if ((lead & 0xF0u) == 0xE0u) {
        extra = 2;
        value = lead & 0x0Fu;
    } else if ((lead & 0xF8u) == 0xF0u) {
        extra = 3;
        value = lead & 0x07u;
    }
    is_byte = extra == 0;
    for (int k = 1; !is_byte && k <= extra; ++k) {
        if (i + static_cast<size_t>(k) >= text.size() || (byte(i + k) & 0xC0u) != 0x80u) {
            is_byte = true;
            break;
        }
        value = (value << 6) | (byte(i + k) & 0x3Fu);
    }
    return is_byte ? lead : value;
}
}  // namespace

std::optional<TOML_stray_character> find_stray_character(std::string_view text) {
    int32_t line = 1;
    int32_t column = 1;
    size_t i = 0;
    // Moves past one byte, keeping the line and the column (in characters).
    const auto advance = [&]() {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            ++line;
            column = 1;
        } else if ((c & 0xC0u) != 0x80u) {
            ++column;
        }
        ++i;
    };
    const auto starts = [&](std::string_view token) {
        return text.substr(i, token.size()) == token;
    };
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '#') {
            while (i < text.size() && text[i] != '\n') advance();
        } else if (c == '"' || c == '\'') {
            const std::string_view triple = c == '"' ? "\"\"\"" : "'''";
            const bool multi = starts(triple);
            for (size_t k = 0; k < (multi ? 3u : 1u); ++k) advance();
            while (i < text.size()) {
                if (multi ? starts(triple) : text[i] == static_cast<char>(c)) {
                    for (size_t k = 0; k < (multi ? 3u : 1u); ++k) advance();
                    break;
                }
                if (!multi && text[i] == '\n')
                    break;
                if (c == '"' && text[i] == '\\' && i + 1 < text.size())
                    advance();
                advance();
            }
        } else if (c >= 0x80u) {
            bool is_byte = false;
            const uint32_t value = code_point(text, i, is_byte);
            char what[96];
            if (is_byte)
                std::snprintf(what, sizeof what, "unexpected byte 0x%02X (not UTF-8)", value);
            else
                std::snprintf(what, sizeof what,
                              "unexpected character U+%04X (outside strings and comments a design "
                              "holds only ASCII)",
                              value);
            return TOML_stray_character{line, column, what};
        } else {
            advance();
        }
    }
    return std::nullopt;
}
