#pragma once
// A file an exporter writes: created as soon as the command line is read, so
// that a bad name ends the program before anything is simulated, and closed
// with a check that every byte reached it. The text goes through a buffer of
// its own straight to the descriptor, so a failure is reported with the
// reason the failing call gave (not whatever errno holds later).

#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

class PCI_output_file {
  public:
    // Remembers the name; nothing is opened yet.
    explicit PCI_output_file(std::string path) : path_(std::move(path)) {}
    ~PCI_output_file();
    PCI_output_file(const PCI_output_file&) = delete;
    PCI_output_file& operator=(const PCI_output_file&) = delete;

    // Creates (or truncates) the file. Returns an error text naming the file
    // and the reason, or an empty string.
    std::string open();
    // Writes what is buffered and closes the file. Returns an error text
    // naming the first failed call's reason, or an empty string.
    std::string close();

    std::ostream& stream() { return stream_; }
    const std::string& path() const { return path_; }

  private:
    // Collects text and writes it to a descriptor in blocks; keeps the errno
    // of the first failed write and drops the text after it.
    class block_buffer : public std::streambuf {
      public:
        block_buffer();
        // Starts writing to fd (-1: nothing open).
        void attach(int fd) { fd_ = fd; }
        // Writes what is collected; false once any write failed.
        bool drain();
        // The errno of the first failed write, 0 if none.
        int error() const { return error_; }
        int fd() const { return fd_; }

      protected:
        int_type overflow(int_type c) override;
        int sync() override { return drain() ? 0 : -1; }

      private:
        std::vector<char> space_;  // the collected text
        int fd_ = -1;              // the descriptor written; -1 none
        int error_ = 0;            // errno of the first failed write; 0 none
    };

    // "cannot <what> <path>: <reason>" with the system's reason.
    std::string failure(const char* what, int error_number) const;

    std::string path_;               // the file's name as given
    block_buffer buffer_;            // the text on its way to the file
    std::ostream stream_{&buffer_};  // what the exporters write to
};
