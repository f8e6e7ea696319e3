#include "bench/tail_buffer.h"

#include <algorithm>
#include <cstring>

namespace {
// Room for this many times the kept bytes, so that text is dropped in
// large steps.
constexpr size_t room_factor = 16;
}  // namespace

PCI_tail_buffer::PCI_tail_buffer(size_t keep) : space_(keep * room_factor + 1), keep_(keep) {
    setp(space_.data(), space_.data() + space_.size());
}

std::string PCI_tail_buffer::tail() const {
    const size_t size = static_cast<size_t>(pptr() - pbase());
    const size_t kept = std::min(size, keep_);
    return {pptr() - kept, kept};
}

PCI_tail_buffer::int_type PCI_tail_buffer::overflow(int_type c) {
    // Only the last keep_ bytes are moved to the front; the rest is dropped.
    const size_t size = static_cast<size_t>(pptr() - pbase());
    const size_t kept = std::min(size, keep_);
    std::memmove(space_.data(), pptr() - kept, kept);
    setp(space_.data(), space_.data() + space_.size());
    pbump(static_cast<int>(kept));
    if (!traits_type::eq_int_type(c, traits_type::eof()))
        return sputc(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
}
