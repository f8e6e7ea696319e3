#include "bench/design_set.h"

#include <memory>
#include <vector>

#include "bench/toml_guard.h"

namespace {
std::vector<std::string> split_path(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t dot = path.find('.', start);
        parts.push_back(path.substr(start, dot - start));
        if (dot == std::string::npos)
            return parts;
        start = dot + 1;
    }
}

// A number 1..count written in decimal, or 0.
size_t position(const std::string& text, size_t count) {
    if (text.empty() || text.size() > 9)
        return 0;
    size_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + static_cast<size_t>(c - '0');
    }
    return value <= count ? value : 0;
}

// The element of an array of tables named by part (its name or position);
// null with the problem's text in why.
toml::node* element(toml::array& array, const std::string& kind, const std::string& part,
                    std::string& why) {
    if (const size_t n = position(part, array.size()); n != 0)
        return &array[n - 1];
    std::string names;
    bool named = true;
    for (toml::node& e : array) {
        const toml::table* t = e.as_table();
        const toml::node* name = t != nullptr ? t->get("name") : nullptr;
        if (name != nullptr && name->is_string() && name->as_string()->get() == part)
            return &e;
        named = named && name != nullptr && name->is_string();
        if (name != nullptr && name->is_string())
            names += (names.empty() ? "" : ", ") + name->as_string()->get();
    }
    if (array.empty())
        names = "none";
    else if (!named)
        names = "1.." + std::to_string(array.size());
    why = "no " + kind + " '" + part + "' (" + kind + "s: " + names + ')';
    return nullptr;
}
}  // namespace

void apply_design_set(toml::table& root, const std::string& option,
                      PCI_design_diagnostics& diagnostics) {
    const size_t equals = option.find('=');
    const std::string path = option.substr(0, equals);
    const PCI_design_place place{std::string(set_source_prefix) + path, 0, 0};
    if (equals == std::string::npos) {
        diagnostics.error(place, "give PATH=VALUE, e.g. master.pm2.latency_timer=128");
        return;
    }
    const std::string text = option.substr(equals + 1);
    const std::vector<std::string> parts = split_path(path);
    for (const std::string& part : parts)
        if (part.empty()) {
            diagnostics.error(place, "path '" + path + "' has an empty part");
            return;
        }
    // The value, parsed with the option as its source so that its problems
    // are placed there; "v = {}" makes the tables a path needs.
    if (const std::optional<TOML_stray_character> stray = find_stray_character(text)) {
        diagnostics.error(place, "value '" + text + "' is not a TOML value: " + stray->message);
        return;
    }
    toml::parse_result value = toml::parse("v = " + text + "\nt = {}\n", place.source);
    // Exactly the two keys written above: a value that opens a table of its
    // own ("1\n[x]") would move "t" into it.
    if (!value || value.table().size() != 2 || value.table().get("v") == nullptr ||
        value.table().get_as<toml::table>("t") == nullptr) {
        const std::string why =
            value ? std::string("more than one value") : std::string(value.error().description());
        diagnostics.error(place, "value '" + text + "' is not a TOML value: " + why);
        return;
    }
    const auto key_region = value.table().get("v")->source();

    toml::node* current = &root;
    std::string kind = "key";  // what the part before names
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        const std::string& part = parts[i];
        if (toml::array* array = current->as_array()) {
            std::string why;
            current = element(*array, kind, part, why);
            if (current == nullptr) {
                diagnostics.error(place, why);
                return;
            }
            kind = part;
            continue;
        }
        toml::table* table = current->as_table();
        if (table == nullptr) {
            diagnostics.error(place, "'" + parts[i - 1] + "' holds a value, not a table");
            return;
        }
        if (table->get(part) == nullptr) {
            // A table of the --set, moved in with its place.
            table->insert_or_assign(toml::key(part, key_region),
                                    std::move(*value.table().get("t")));
        }
        current = table->get(part);
        kind = part;
    }
    if (current->is_array()) {
        diagnostics.error(place, "'" + parts[parts.size() - 2] + "' is a list: name one of its " +
                                     "elements before the key");
        return;
    }
    toml::table* table = current->as_table();
    if (table == nullptr) {
        diagnostics.error(place, "'" + parts[parts.size() - 2] + "' holds a value, not a table");
        return;
    }
    table->insert_or_assign(toml::key(parts.back(), key_region),
                            std::move(*value.table().get("v")));
}
