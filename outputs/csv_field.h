#pragma once
// The one field writer of the program's CSV files.

#include <string>

// One CSV field after RFC 4180: quoted when it holds a comma, a quote or a
// line break, a quote doubled.
std::string csv_field(const std::string& text);
