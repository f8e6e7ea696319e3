// Fuzz target: reading and checking a design file. The input up to its first
// zero byte is the file's text; each piece after a zero byte is one --set
// option. Reading must never crash, and a design it accepts must write a text
// that reads back to the same design and writes the same bytes again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "bench/design_file.h"
#include "bench/design_writer.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t end = input.find('\0');
    const std::string_view text = input.substr(0, end);
    std::vector<std::string> sets;
    for (size_t start = end; start != std::string_view::npos && start < input.size();) {
        const size_t next = input.find('\0', start + 1);
        sets.emplace_back(input.substr(start + 1, next - start - 1));
        start = next;
    }

    PCI_design design;
    PCI_design_diagnostics diagnostics;
    const bool ok = read_design_text(text, "fuzz.toml", sets, design, diagnostics);
    null_buffer buffer;
    std::ostream err(&buffer);
    diagnostics.print(err);
    if (ok == diagnostics.has_errors())
        std::abort();
    if (!ok)
        return 0;

    const std::string written = design_to_toml(design);
    PCI_design back;
    PCI_design_diagnostics again;
    if (!read_design_text(written, "written.toml", {}, back, again) || !(back == design) ||
        design_to_toml(back) != written)
        std::abort();
    return 0;
}
