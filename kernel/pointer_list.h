#pragma once
// A list of pointers whose append stays small enough to inline: the growth
// is a separate call. The cycle boundary's work lists are of this kind.

#include <cstddef>
#include <utility>
#include <vector>

template <typename T>
class SIM_pointer_list {
  public:
    void push(T* item) {
        if (end_ == limit_) [[unlikely]]
            grow();
        *end_++ = item;
    }
    T* const* begin() const { return items_.data(); }
    T* const* end() const { return end_; }
    void clear() { end_ = items_.data(); }
    void swap(SIM_pointer_list& other) {
        // The buffers change owners; the pointers into them go along.
        items_.swap(other.items_);
        std::swap(end_, other.end_);
        std::swap(limit_, other.limit_);
    }

  private:
    [[gnu::noinline]] void grow() {
        const std::size_t size = static_cast<std::size_t>(end_ - items_.data());
        items_.resize(items_.empty() ? 64 : 2 * items_.size());
        end_ = items_.data() + size;
        limit_ = items_.data() + items_.size();
    }

    std::vector<T*> items_;  // storage; the entries before end_ are the list
    T** end_ = nullptr;      // one past the last entry in use
    T** limit_ = nullptr;    // end of the storage
};
