#include "outputs/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {
constexpr std::size_t block_bytes = 1 << 16;  // bytes written at a time
}  // namespace

PCI_output_file::block_buffer::block_buffer() : space_(block_bytes) {
    setp(space_.data(), space_.data() + space_.size());
}

bool PCI_output_file::block_buffer::drain() {
    const char* text = pbase();
    std::size_t left = static_cast<std::size_t>(pptr() - pbase());
    while (left > 0 && error_ == 0) {
        const ssize_t written = ::write(fd_, text, left);
        if (written < 0) {
            if (errno != EINTR)
                error_ = errno;  // the reason of this very call
            continue;
        }
        text += written;
        left -= static_cast<std::size_t>(written);
    }
    setp(space_.data(), space_.data() + space_.size());
    return error_ == 0;
}

PCI_output_file::block_buffer::int_type PCI_output_file::block_buffer::overflow(int_type c) {
    if (!drain())
        return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof()))
        sputc(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
}

PCI_output_file::~PCI_output_file() {
    if (buffer_.fd() >= 0)
        ::close(buffer_.fd());
}

std::string PCI_output_file::failure(const char* what, int error_number) const {
    return std::string("cannot ") + what + " " + path_ + ": " + std::strerror(error_number);
}

std::string PCI_output_file::open() {
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return failure("create", errno);
    buffer_.attach(fd);
    return {};
}

std::string PCI_output_file::close() {
    const int fd = buffer_.fd();
    if (fd < 0)
        return {};
    buffer_.drain();
    buffer_.attach(-1);
    int error = buffer_.error();
    if (::close(fd) != 0 && error == 0)
        error = errno;
    return error != 0 ? failure("write", error) : std::string();
}
