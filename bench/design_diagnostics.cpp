#include "bench/design_diagnostics.h"

#include <algorithm>
#include <utility>

std::string PCI_design_place::text() const {
    if (line == 0)
        return source;
    return source + ':' + std::to_string(line) + ':' + std::to_string(column);
}

void PCI_design_diagnostics::error(const PCI_design_place& place, std::string text) {
    errors_.push_back(problem{place, std::move(text)});
}

void PCI_design_diagnostics::warning(const PCI_design_place& place, std::string text) {
    warnings_.push_back(problem{place, std::move(text)});
}

namespace {
void print_one(std::ostream& err, const PCI_design_diagnostics::problem& p, const char* kind) {
    err << "pcisim: ";
    const std::string where = p.place.text();
    if (!where.empty())
        err << where << ": ";
    err << kind << ": " << p.text << '\n';
}
}  // namespace

void PCI_design_diagnostics::print(std::ostream& err) const {
    if (errors_.empty()) {
        for (const problem& p : warnings_) print_one(err, p, "warning");
        err.flush();
        return;
    }
    // In the order of the text; the rules about the whole come after the
    // values they relate, values of --set options (no line) first.
    std::vector<problem> sorted = errors_;
    std::stable_sort(sorted.begin(), sorted.end(), [](const problem& a, const problem& b) {
        return std::pair(a.place.line, a.place.column) < std::pair(b.place.line, b.place.column);
    });
    for (size_t i = 0; i < sorted.size() && i < max_shown; ++i) print_one(err, sorted[i], "error");
    if (errors_.size() > max_shown)
        err << "pcisim: ... and " << errors_.size() - max_shown << " more error"
            << (errors_.size() - max_shown == 1 ? "" : "s") << '\n';
    err.flush();
}
