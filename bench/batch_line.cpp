#include "bench/batch_line.h"

namespace {
bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}
}  // namespace

bool batch_line_is_empty(std::string_view line) {
    for (const char c : line) {
        if (!blank(c))
            return c == '#';
    }
    return true;
}

std::optional<batch_line_error> split_batch_line(std::string_view line,
                                                 std::vector<std::string>& words) {
    const size_t size = line.size();
    if (const size_t nul = line.find('\0'); nul != std::string_view::npos)
        return batch_line_error{static_cast<int>(nul) + 1, "NUL byte in the line"};
    size_t i = 0;
    while (true) {
        while (i < size && blank(line[i])) ++i;
        if (i >= size)
            return std::nullopt;
        std::string word;
        while (i < size && !blank(line[i])) {
            const char c = line[i];
            const int column = static_cast<int>(i) + 1;
            if (c == '\'') {
                const size_t close = line.find('\'', i + 1);
                if (close == std::string_view::npos)
                    return batch_line_error{column, "single quote not closed on its line"};
                word.append(line.substr(i + 1, close - i - 1));
                i = close + 1;
            } else if (c == '"') {
                for (++i;; ++i) {
                    if (i >= size)
                        return batch_line_error{column, "double quote not closed on its line"};
                    if (line[i] == '"')
                        break;
                    if (line[i] == '\\' && i + 1 < size &&
                        (line[i + 1] == '"' || line[i + 1] == '\\'))
                        ++i;
                    word += line[i];
                }
                ++i;
            } else if (c == '\\') {
                if (i + 1 >= size || line[i + 1] == '\r')
                    return batch_line_error{column, "backslash at the end of the line"};
                word += line[i + 1];
                i += 2;
            } else {
                word += c;
                ++i;
            }
        }
        words.push_back(std::move(word));
    }
}
