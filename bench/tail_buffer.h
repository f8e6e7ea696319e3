#pragma once
// Standard output of a batch run that goes nowhere: a stream buffer that
// drops the text but keeps its last bytes, so that a failed run's status
// can tell what it printed last.

#include <cstddef>
#include <streambuf>
#include <string>
#include <vector>

class PCI_tail_buffer : public std::streambuf {
  public:
    // Keeps the last keep bytes.
    explicit PCI_tail_buffer(size_t keep);
    PCI_tail_buffer(const PCI_tail_buffer&) = delete;
    PCI_tail_buffer& operator=(const PCI_tail_buffer&) = delete;

    // The last bytes written (at most keep).
    std::string tail() const;

  protected:
    int_type overflow(int_type c) override;

  private:
    std::vector<char> space_;  // the text since the last drop, its last keep_ bytes first
    size_t keep_;              // bytes kept
};
