#pragma once
// A condition that ends the program: its text, printed on the simulation's
// output as it stands, and the exit status. Library code throws it; only the
// program's entry ends the process.

#include <stdexcept>
#include <string>

class SIM_error : public std::runtime_error {
  public:
    SIM_error(const std::string& text, int status) : std::runtime_error(text), status_(status) {}

    // Exit status the program ends with.
    int status() const { return status_; }

  private:
    int status_;  // exit status
};
