#include "bench/testbench.h"

#include <string>

#include "bench/seeds.h"

namespace {
std::unique_ptr<PCI_arbiter_base> make_arbiter(const PCI_arbiter_spec& params,
                                               SIM_instance* parent) {
    if (params.policy == PCI_arbiter_policy::fixed)
        return std::make_unique<PCI_priority_arbiter>("pa", parent);
    auto arbiter = std::make_unique<PCI_arbiter>("pa", parent);
    arbiter->set_mtt(params.mtt);
    arbiter->set_idle_limit(params.idle_limit);
    return arbiter;
}

// The master's windows at bus addresses: the named target's BAR base plus
// the window's offset.
std::vector<PCI_master_window> windows_of(const PCI_master_spec& master, const PCI_design& design) {
    std::vector<PCI_master_window> windows;
    for (const PCI_window_spec& window : master.windows) {
        uint32_t base = 0;
        for (const PCI_target_spec& target : design.targets)
            if (target.name == window.target)
                base = target.bar_base;
        windows.push_back({base + window.offset, window.size, window.weight, 0});
    }
    return windows;
}

std::vector<std::unique_ptr<PCI_configured_master>> make_masters(const PCI_design& design,
                                                                 SIM_instance* parent) {
    std::vector<std::unique_ptr<PCI_configured_master>> masters;
    for (const PCI_master_spec& params : design.masters)
        masters.push_back(std::make_unique<PCI_configured_master>(
            params.name.c_str(), parent, params, windows_of(params, design)));
    return masters;
}

std::vector<std::unique_ptr<PCI_configured_target>> make_targets(const PCI_design& design,
                                                                 SIM_instance* parent) {
    std::vector<std::unique_ptr<PCI_configured_target>> targets;
    for (const PCI_target_spec& params : design.targets)
        targets.push_back(
            std::make_unique<PCI_configured_target>(params.name.c_str(), parent, params));
    return targets;
}

// An agent's own seeds, else those derived for its unit.
PCI_source_seeds seeds_of(const std::optional<int32_t>& seed,
                          const std::optional<uint32_t>& multiplier, const PCI_design& design,
                          int unit) {
    const PCI_source_seeds derived = derived_seeds(design.seed.value_or(0), unit);
    return {seed.value_or(derived.seed), multiplier.value_or(derived.multiplier)};
}
}  // namespace

PCI_testbench::PCI_testbench(const char* name_text, SIM_context& context, const PCI_design& design)
    : SIM_instance(name_text, context),
      pa(make_arbiter(design.arbiter, this)),
      rotating(dynamic_cast<PCI_arbiter*>(pa.get())),
      masters(make_masters(design, this)),
      targets(make_targets(design, this)),
      pb("pb", *this),
      pmon("pmon", this) {
    pb.connect_agent(*pa);
    for (const auto& target : targets) pb.connect_agent(*target);
    pb.connect_agent(pmon);
    for (const auto& master : masters) pb.connect_agent(*master);

    // Request/grant pairs 0, 1, ..., their nets named under the bench.
    for (const auto& master : masters) pa->attach_master(*this, *master);
    for (const auto& master : masters) master->count_running_in(running_masters_);

    const int units = static_cast<int>(masters.size());
    for (int i = 0; i < units; ++i) {
        const PCI_master_spec& params = design.masters[i];
        master_seeds.push_back(seeds_of(params.seed, params.multiplier, design, i));
    }
    for (size_t i = 0; i < targets.size(); ++i) {
        const PCI_target_spec& params = design.targets[i];
        target_seeds.push_back(
            seeds_of(params.seed, params.multiplier, design, units + static_cast<int>(i)));
    }

    // Report cards: the target windows, then the design's own.
    for (const PCI_card_spec& card : all_cards(design)) pmon.add_range(card.base, card.mask);
}

PCI_testbench::PCI_testbench(const char* name_text, SIM_context& context)
    : PCI_testbench(name_text, context, builtin_design()) {}

void PCI_testbench::reset() {
    // Masters first, then targets, each source before its pattern.
    for (size_t i = 0; i < masters.size(); ++i) {
        masters[i]->rng.set_seed(master_seeds[i].seed);
        masters[i]->set_multiplier(master_seeds[i].multiplier);
    }
    for (size_t i = 0; i < targets.size(); ++i) {
        targets[i]->rng.set_seed(target_seeds[i].seed);
        targets[i]->set_multiplier(target_seeds[i].multiplier);
    }
}

PCI_design_view PCI_testbench::view(const PCI_design& design) const {
    PCI_design_view v{design, name.own_name(), {}, {}, master_seeds, target_seeds, pb, pmon};
    for (const auto& master : masters) v.masters.push_back(master.get());
    for (const auto& target : targets) v.targets.push_back(target.get());
    return v;
}
