#include "outputs/design_json.h"

#include <optional>

namespace {
using json = nlohmann::ordered_json;

// Keys of a target's decode-speed entries, in the order of the design's array.
constexpr const char* speed_entry_names[6] = {"config_read",  "config_write", "memory_read",
                                              "memory_write", "io_read",      "io_write"};

json draw_json(const PCI_draw& value) {
    if (value.ranged)
        return json::array({value.lo, value.hi});
    return json(value.lo);
}

template <class T>
json optional_json(const std::optional<T>& value) {
    return value ? json(*value) : json(nullptr);
}

const char* command_key(uint32_t command) {
    switch (command) {
        case CMD_MEMORY_READ_LINE:
            return "memory_read_line";
        case CMD_MEMORY_READ_MULTIPLE:
            return "memory_read_multiple";
        case CMD_MEMORY_WRITE:
            return "memory_write";
        case CMD_MEMORY_WRITE_INVALIDATE:
            return "memory_write_and_invalidate";
        default:
            return "memory_read";
    }
}

json master_json(const PCI_master_spec& m) {
    json windows = json::array();
    for (const PCI_window_spec& w : m.windows)
        windows.push_back(
            {{"target", w.target}, {"offset", w.offset}, {"size", w.size}, {"weight", w.weight}});
    return {{"name", m.name},
            {"transactions", m.transactions},
            {"latency_timer", m.latency_timer},
            {"retry_overhead", m.retry_overhead},
            {"fast_back_to_back", m.fast_back_to_back},
            {"reads", m.reads},
            {"read_length", draw_json(m.read_length)},
            {"write_length", draw_json(m.write_length)},
            {"window", windows},
            {"address", m.address == PCI_address_mode::sequential ? "sequential" : "random"},
            {"read_command", command_key(m.read_command)},
            {"write_command", command_key(m.write_command)},
            {"gap", draw_json(m.gap)},
            {"initial_wait", draw_json(m.initial_wait)},
            {"burst_wait", draw_json(m.burst_wait)},
            {"latency_timer_expiry", m.latency_timer_expiry == PCI_timer_expiry::after_data_phase
                                         ? "after_data_phase"
                                         : "immediate"},
            {"seed", optional_json(m.seed)},
            {"multiplier", optional_json(m.multiplier)}};
}

json target_json(const PCI_target_spec& t) {
    json speed;
    bool uniform = true;
    for (const PCI_decode_speed s : t.decode_speed) uniform = uniform && s == t.decode_speed[0];
    if (uniform) {
        speed = pci_decode_speed_name(t.decode_speed[0]);
    } else {
        speed = json::object();
        for (size_t e = 0; e < t.decode_speed.size(); ++e)
            speed[speed_entry_names[e]] = pci_decode_speed_name(t.decode_speed[e]);
    }
    const json initial_wait = t.initial_wait_split
                                  ? json{{"read", draw_json(t.initial_wait_read)},
                                         {"write", draw_json(t.initial_wait_write)}}
                                  : draw_json(t.initial_wait_read);
    const json burst_wait = t.burst_wait_every == 0 ? draw_json(t.burst_wait)
                                                    : json{{"every", t.burst_wait_every},
                                                           {"clocks", draw_json(t.burst_wait)}};
    json disconnect = "none";
    if (t.disconnect == PCI_disconnect_kind::after)
        disconnect = {{"after", draw_json(t.disconnect_after)}};
    else if (t.disconnect == PCI_disconnect_kind::at_boundary)
        disconnect = {{"at_boundary", t.disconnect_boundary}};
    return {{"name", t.name},
            {"bar", {{"base", t.bar_base}, {"size", t.bar_size}, {"prefetchable", t.prefetchable}}},
            {"decode_speed", speed},
            {"initial_wait", initial_wait},
            {"burst_wait", burst_wait},
            {"disconnect", disconnect},
            {"init_retry_threshold", t.init_retry_threshold},
            {"burst_retry_threshold", t.burst_retry_threshold},
            {"retry_hint", t.retry_hint},
            {"seed", optional_json(t.seed)},
            {"multiplier", optional_json(t.multiplier)}};
}
}  // namespace

json design_json(const PCI_design& d) {
    json masters = json::array();
    for (const PCI_master_spec& m : d.masters) masters.push_back(master_json(m));
    json targets = json::array();
    for (const PCI_target_spec& t : d.targets) targets.push_back(target_json(t));
    json cards = json::array();
    for (const PCI_card_spec& c : d.cards)
        cards.push_back({{"name", c.name}, {"base", c.base}, {"mask", c.mask}});
    const bool fixed = d.arbiter.policy == PCI_arbiter_policy::fixed;
    return {{"run", {{"max_cycles", d.max_cycles}, {"seed", optional_json(d.seed)}}},
            {"arbiter",
             {{"policy", fixed ? "fixed" : "rotating"},
              {"mtt", d.arbiter.mtt},
              {"idle_limit", d.arbiter.idle_limit}}},
            {"masters", masters},
            {"targets", targets},
            {"monitor", {{"cards", d.cards_from_targets ? "targets" : "none"}, {"card", cards}}}};
}
