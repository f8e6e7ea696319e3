#pragma once
// toml++ as the design file's parser: header-only (the program links no
// library for it), without exceptions (parse results are checked), and
// without its formatters (the design writer lays out its own text).
#define TOML_HEADER_ONLY 1
#define TOML_EXCEPTIONS 0
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

#include "bench/design_diagnostics.h"

// Prefix of the source name of a value given by --set ("--set PATH").
inline constexpr std::string_view set_source_prefix = "--set ";

// The place of a region: its file position, or the --set option alone.
inline PCI_design_place place_of(const toml::source_region& region) {
    PCI_design_place place;
    if (region.path)
        place.source = *region.path;
    if (place.source.starts_with(set_source_prefix))
        return place;
    place.line = static_cast<int32_t>(region.begin.line);
    place.column = static_cast<int32_t>(region.begin.column);
    return place;
}
