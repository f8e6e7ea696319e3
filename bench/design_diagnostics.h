#pragma once
// Where a value of a design came from, and the problems found in a design:
// errors (the design is not run) and warnings (legal, likely a mistake).
// Each problem prints as one line, "pcisim: FILE:LINE:COL: error: TEXT", or
// "pcisim: --set PATH: error: TEXT" for a value given on the command line.

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// A place in a design's text: a file position, or a --set option.
struct PCI_design_place {
    std::string source;  // the file's name as given, "--set PATH", or empty (nowhere)
    int32_t line = 0;    // 1-based line; 0 when the source has no position
    int32_t column = 0;  // 1-based column
    bool operator==(const PCI_design_place&) const = default;

    // "FILE:LINE:COL", "--set PATH", or "" for nowhere.
    std::string text() const;
};

class PCI_design_diagnostics {
  public:
    // Most errors printed; the rest are counted in one closing line.
    static constexpr size_t max_shown = 20;

    // One problem: where and what.
    struct problem {
        PCI_design_place place;  // where it is
        std::string text;        // what is wrong, one line
    };

    void error(const PCI_design_place& place, std::string text);
    void warning(const PCI_design_place& place, std::string text);

    bool has_errors() const { return !errors_.empty(); }
    const std::vector<problem>& errors() const { return errors_; }
    const std::vector<problem>& warnings() const { return warnings_; }

    // Prints the errors (up to max_shown, then "... and N more"), or, when
    // there are none, the warnings; one line each, "pcisim: " first.
    void print(std::ostream& err) const;

  private:
    std::vector<problem> errors_;    // in the order found
    std::vector<problem> warnings_;  // in the order found
};
