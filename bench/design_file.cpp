// Loading the design the program runs (a file, or the built-in design's
// text for --set alone) and saving one.
#include "bench/design_file.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bench/design_writer.h"
#include "bench/sha256.h"

namespace {
// The whole file, or the reason it cannot be read.
std::optional<std::string> read_file(const std::string& path, std::string& reason) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        reason = std::strerror(errno);
        return std::nullopt;
    }
    std::string text;
    std::array<char, 65536> block{};
    size_t n = 0;
    while ((n = std::fread(block.data(), 1, block.size(), file)) > 0) text.append(block.data(), n);
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    std::fclose(file);
    if (failed) {
        reason = std::strerror(error);
        return std::nullopt;
    }
    return text;
}
}  // namespace

std::optional<PCI_loaded_design> load_design(const std::string& path,
                                             const std::vector<std::string>& sets,
                                             std::ostream& err) {
    PCI_loaded_design loaded;
    std::string text;
    std::string source = builtin_design_source;
    if (path.empty()) {
        text = design_to_toml(builtin_design());
    } else {
        std::string reason;
        std::optional<std::string> file = read_file(path, reason);
        if (!file) {
            err << "pcisim: cannot read " << path << ": " << reason << std::endl;
            return std::nullopt;
        }
        text = std::move(*file);
        source = path;
        loaded.path = path;
        loaded.sha256 = sha256_hex(text);
    }
    PCI_design_diagnostics diagnostics;
    const bool ok = read_design_text(text, source, sets, loaded.design, diagnostics);
    diagnostics.print(err);
    if (!ok)
        return std::nullopt;
    return loaded;
}

std::string save_design(const std::string& path, const PCI_design& design) {
    const std::string text = design_to_toml(design);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return "cannot write " + path + ": " + std::strerror(errno);
    const size_t written = std::fwrite(text.data(), 1, text.size(), file);
    int error = written == text.size() ? 0 : errno;
    if (std::fclose(file) != 0 && error == 0)
        error = errno;
    if (error != 0)
        return "cannot write " + path + ": " + std::strerror(error);
    return {};
}
