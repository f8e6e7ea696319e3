#pragma once
// Reading the keys of one table of a design file: each value checked for
// its type and range, every problem reported at its place with the table's
// subject in front ("master 'pm1': latency_timer 300 is out of range
// 0..255"), keys the table does not know reported with a guess.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bench/design_diagnostics.h"
#include "bench/toml.h"
#include "pci/design.h"

// "a string", "an integer", ...: the type of a value in a problem's text.
std::string toml_type_name(const toml::node& node);

// Reads the keys of one table: each value checked for type and range, the
// problems reported with the table's subject ("master 'pm1': ").
class table_reader {
  public:
    table_reader(const toml::table& table, std::string label, std::string who,
                 std::vector<const char*> known, PCI_design_diagnostics& diagnostics,
                 std::string key_prefix = {})
        : table_(table),
          label_(std::move(label)),
          who_(std::move(who)),
          prefix_(std::move(key_prefix)),
          known_(std::move(known)),
          diagnostics_(diagnostics) {
        check_unknown();
    }

    const toml::table& table() const { return table_; }
    const std::string& who() const { return who_; }
    // Whether any value of the table was wrong.
    bool failed() const { return failed_; }
    bool has(const char* key) const { return table_.get(key) != nullptr; }
    const toml::node* node(const char* key) const { return table_.get(key); }
    PCI_design_place place(const char* key) const;
    PCI_design_place key_place(const char* key) const;

    void error(const PCI_design_place& where, const std::string& text);
    // An error without the subject in front.
    void error_plain(const PCI_design_place& where, const std::string& text);
    // An error about key's value.
    void error(const char* key, const std::string& text) { error(place(key), text); }
    void wrong_type(const char* key, const toml::node& n, const char* expected);
    void missing(const char* key, const std::string& text);

    std::optional<int64_t> integer(const char* key, int64_t lo, int64_t hi);
    template <typename T>
    void integer(const char* key, int64_t lo, int64_t hi, T& out) {
        if (const std::optional<int64_t> v = integer(key, lo, hi))
            out = static_cast<T>(*v);
    }

    std::optional<bool> boolean(const char* key);

    std::optional<std::string> string(const char* key);

    // A string among choices; the index of the one given.
    std::optional<size_t> choice(const char* key, const std::vector<const char*>& choices);

    // An integer (drawn nothing) or [lo, hi] (one draw per use).
    std::optional<PCI_draw> draw(const char* key, int64_t lo, int64_t hi);
    void draw(const char* key, int64_t lo, int64_t hi, PCI_draw& out);

    // Bytes: an integer, or "<n>B", "<n>KiB", "<n>MiB", "<n>GiB".
    std::optional<uint64_t> size(const char* key, uint64_t lo, uint64_t hi);

    // A nested table (inline or not) read with its own reader.
    const toml::table* subtable(const char* key);
    // Folds a nested reader's outcome into this one.
    void absorb(const table_reader& inner) { failed_ = failed_ || inner.failed(); }

    static std::optional<uint64_t> parse_size(const std::string& text);

  private:
    void check_unknown();

    const toml::table& table_;             // the table read
    std::string label_;                    // the table in unknown-key texts ("[arbiter]")
    std::string who_;                      // prefix of every problem ("master 'pm1': ")
    std::string prefix_;                   // before key names ("bar ")
    std::vector<const char*> known_;       // the table's keys
    PCI_design_diagnostics& diagnostics_;  // where problems go
    bool failed_ = false;                  // some value was wrong
};
