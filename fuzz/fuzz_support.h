#pragma once
// What the fuzz targets share: the argument vector built from an input, and a
// stream buffer that drops the program's output.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <streambuf>
#include <string_view>
#include <vector>

// An argument vector built from a fuzz input: the input split at its zero
// bytes, behind argv[0] = "pcisim". Every argument lives in its own heap block
// of exactly its length plus the terminating zero, so AddressSanitizer reports
// any read past an argument's end.
class fuzz_args {
  public:
    // Splits data; the piece after the last zero byte is an argument too (an
    // input ending in a zero byte ends with an empty argument).
    fuzz_args(const uint8_t* data, size_t size) {
        add("pcisim");
        const char* text = reinterpret_cast<const char*>(data);
        size_t start = 0;
        for (size_t i = 0; i <= size; ++i) {
            if (i == size || text[i] == '\0') {
                add(std::string_view(text + start, i - start));
                start = i + 1;
            }
        }
    }

    // Adds one argument at the end.
    void add(std::string_view arg) {
        auto block = std::make_unique<char[]>(arg.size() + 1);
        if (!arg.empty())
            std::memcpy(block.get(), arg.data(), arg.size());
        block[arg.size()] = '\0';
        blocks_.push_back(std::move(block));
    }

    // Arguments including argv[0].
    int argc() const { return static_cast<int>(blocks_.size()); }

    // The vector with the null pointer after the last argument, as main gets it.
    // Valid until the next add().
    char** argv() {
        pointers_.clear();
        for (const auto& block : blocks_) pointers_.push_back(block.get());
        pointers_.push_back(nullptr);
        return pointers_.data();
    }

    // Argument i (0 = the program name).
    std::string_view operator[](int i) const { return blocks_[static_cast<size_t>(i)].get(); }

  private:
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::vector<char*> pointers_;
};

// A stream buffer that drops everything: output is formatted as usual, then
// thrown away.
class null_buffer : public std::streambuf {
  protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};
