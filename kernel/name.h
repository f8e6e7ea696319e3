#pragma once
// Hierarchical names: every module and signal knows its own name and its
// parent's record, and prints as top:mid:own.

#include <string>

class SIM_name {
  public:
    // Size of the buffer every caller of full_name() provides (limit + 1).
    static constexpr int buffer_size = 256;

    // Copies name, so the caller may reuse its string afterwards.
    SIM_name(const char* name, const SIM_name* parent);

    // Writes the hierarchical name into buffer, cut at limit characters, and
    // returns buffer. The buffer must hold limit + 1 characters.
    char* full_name(char* buffer, int limit) const;
    // The same, through a 256-character buffer with limit 255.
    std::string full_name() const;

    const std::string& own_name() const { return name_; }
    const SIM_name* parent() const { return parent_; }

  private:
    std::string name_;        // own name, owned copy
    const SIM_name* parent_;  // parent's record, not owned; null at the top
};
