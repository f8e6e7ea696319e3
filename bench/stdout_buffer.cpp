#include "bench/stdout_buffer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {
constexpr std::size_t buffer_bytes = 1 << 16;  // one block written at a time
}  // namespace

PCI_stdout_buffer::PCI_stdout_buffer(int fd)
    : space_(buffer_bytes), fd_(fd), terminal_(isatty(fd) == 1) {
    if (fcntl(fd, F_GETFD) == -1)
        error_ = errno;
    setp(space_.data(), space_.data() + space_.size());
}

bool PCI_stdout_buffer::finish() {
    return drain();
}

bool PCI_stdout_buffer::write_all(const char* text, std::streamsize count) {
    while (count > 0 && error_ == 0) {
        const ssize_t written = ::write(fd_, text, static_cast<std::size_t>(count));
        if (written < 0) {
            if (errno != EINTR)
                error_ = errno;
            continue;
        }
        text += written;
        count -= written;
    }
    return error_ == 0;
}

bool PCI_stdout_buffer::drain() {
    const bool ok = write_all(pbase(), pptr() - pbase());
    setp(space_.data(), space_.data() + space_.size());
    return ok;
}

PCI_stdout_buffer::int_type PCI_stdout_buffer::overflow(int_type c) {
    if (!drain())
        return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof()))
        sputc(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
}

std::streamsize PCI_stdout_buffer::xsputn(const char* text, std::streamsize count) {
    if (count > epptr() - pptr()) {
        if (!drain())
            return 0;
        // Too big for the buffer: straight out.
        if (count > epptr() - pptr())
            return write_all(text, count) ? count : 0;
    }
    std::memcpy(pptr(), text, static_cast<std::size_t>(count));
    pbump(static_cast<int>(count));
    return count;
}

int PCI_stdout_buffer::sync() {
    if (!terminal_)
        return 0;
    return drain() ? 0 : -1;
}
