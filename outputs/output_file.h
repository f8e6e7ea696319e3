#pragma once
// A file an exporter writes: created as soon as the command line is read, so
// that a bad name ends the program before anything is simulated, and closed
// with a check that every byte reached it.

#include <fstream>
#include <string>

class PCI_output_file {
  public:
    // Remembers the name; nothing is opened yet.
    explicit PCI_output_file(std::string path) : path_(std::move(path)) {}

    // Creates (or truncates) the file. Returns an error text naming the file
    // and the reason, or an empty string.
    std::string open();
    // Flushes and closes the file. Returns an error text if any write
    // failed, or an empty string.
    std::string close();

    std::ostream& stream() { return stream_; }
    const std::string& path() const { return path_; }

  private:
    // "cannot <what> <path>: <reason>" with the system's reason.
    std::string failure(const char* what, int error_number) const;

    std::string path_;      // the file's name as given
    std::ofstream stream_;  // the open file
};
