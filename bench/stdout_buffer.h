#pragma once
// Standard output of the program: a stream buffer over file descriptor 1
// that collects the text and writes it in large blocks. A flush (std::endl,
// std::flush) writes at once only when the descriptor is a terminal, so the
// progress counter stays live there; otherwise the text goes out when the
// buffer is full and at finish(). A failed write is remembered, later text
// is dropped, and finish() reports it.

#include <streambuf>
#include <vector>

class PCI_stdout_buffer : public std::streambuf {
  public:
    // Over descriptor fd (1 for the program); a closed descriptor counts as
    // a failed write at once.
    explicit PCI_stdout_buffer(int fd = 1);
    PCI_stdout_buffer(const PCI_stdout_buffer&) = delete;
    PCI_stdout_buffer& operator=(const PCI_stdout_buffer&) = delete;

    // Writes what is left. True if every write so far succeeded.
    bool finish();
    // The errno of the first failed write, 0 if none failed.
    int error() const { return error_; }

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

  private:
    // Writes the collected text; false (and error_ set) on failure.
    bool drain();
    // Writes count bytes straight to the descriptor, retrying short writes.
    bool write_all(const char* text, std::streamsize count);

    std::vector<char> space_;  // the collected text
    int fd_;                   // descriptor written
    bool terminal_;            // fd_ is a terminal: every flush writes
    int error_ = 0;            // errno of the first failed write
};
