#include "kernel/name.h"

#include <cstring>

SIM_name::SIM_name(const char* name, const SIM_name* parent) : name_(name), parent_(parent) {}

char* SIM_name::full_name(char* buffer, int limit) const {
    int len = 0;
    auto append = [&](const char* text, size_t n) {
        for (size_t i = 0; i < n && len < limit; ++i) buffer[len++] = text[i];
    };
    if (parent_) {
        parent_->full_name(buffer, limit);
        len = static_cast<int>(std::strlen(buffer));
        append(":", 1);
    }
    append(name_.data(), name_.size());
    buffer[len] = '\0';
    return buffer;
}

std::string SIM_name::full_name() const {
    char buffer[buffer_size];
    return full_name(buffer, buffer_size - 1);
}
