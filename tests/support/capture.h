#pragma once
// Captures everything the simulator prints while in scope.
#include <iostream>
#include <sstream>
#include <string>

#include "kernel/output.h"

class OutputCapture {
  public:
    OutputCapture() { sim_set_out(stream_); }
    ~OutputCapture() { sim_set_out(std::cout); }
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

    std::string text() const { return stream_.str(); }
    // Returns what was printed so far and starts afresh (stream state kept).
    std::string take() {
        std::string s = stream_.str();
        stream_.str("");
        return s;
    }
    std::ostringstream& stream() { return stream_; }

  private:
    std::ostringstream stream_;
};
