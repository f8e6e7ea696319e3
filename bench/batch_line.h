#pragma once
// One line of a batch file as the argument list of one run: words separated
// by white space; single quotes keep everything up to the next single quote;
// double quotes keep everything up to the next double quote, a backslash
// in them escaping a double quote or a backslash; outside quotes a backslash
// keeps the next character. Nothing else is expanded. A line that is blank or
// whose first non-blank character is '#' holds no run.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Why a line could not be read, and where.
struct batch_line_error {
    int column;        // 1-based byte column of the fault
    std::string what;  // what is wrong, one phrase
};

// True for a line that holds no run (blank, or a '#' comment).
bool batch_line_is_empty(std::string_view line);

// Splits the line into words (appended to words); an error when a quote is
// not closed, a backslash ends the line or a NUL byte is in it.
std::optional<batch_line_error> split_batch_line(std::string_view line,
                                                 std::vector<std::string>& words);
