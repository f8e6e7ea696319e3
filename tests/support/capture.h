#pragma once
// Captures everything one simulation prints while in scope.
#include <iostream>
#include <sstream>
#include <string>

#include "kernel/context.h"

class OutputCapture {
  public:
    explicit OutputCapture(SIM_context& context) : context_(context) { context_.set_out(stream_); }
    ~OutputCapture() { context_.set_out(std::cout); }
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
    SIM_context& context_;       // the simulation whose output is captured
    std::ostringstream stream_;  // what it printed
};
