#include "outputs/output_file.h"

#include <cerrno>
#include <cstring>

std::string PCI_output_file::failure(const char* what, int error_number) const {
    return std::string("cannot ") + what + " " + path_ + ": " +
           (error_number != 0 ? std::strerror(error_number) : "write failed");
}

std::string PCI_output_file::open() {
    errno = 0;
    stream_.open(path_, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!stream_)
        return failure("create", errno);
    errno = 0;
    return {};
}

std::string PCI_output_file::close() {
    // errno is not cleared here: a write that failed while the buffer
    // overflowed earlier left its reason there, and open() cleared it.
    stream_.flush();
    const int flush_error = errno;
    const bool written = static_cast<bool>(stream_);
    stream_.close();
    if (!written || !stream_)
        return failure("write", flush_error != 0 ? flush_error : errno);
    return {};
}
