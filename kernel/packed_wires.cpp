#include "kernel/packed_wires.h"

#include "kernel/port_vector.h"

SIM_packed_wires::~SIM_packed_wires() {
    if (tracked_)
        queue_->unregister_wires(this);
}

bool SIM_packed_wires::write_hex(char* buffer) const {
    if (!tracked_)
        return false;
    const int digits = (count_ + 3) / 4;
    // Wires past count_ in the top digit count as Z.
    const uint32_t beyond = count_ >= 32 ? 0 : ~((uint32_t{1} << count_) - 1);
    const SIM_level_planes& levels = state_.levels;
    const uint32_t xs = levels.bit0 & levels.bit1 & ~beyond;
    const uint32_t zs = (levels.bit1 & ~levels.bit0) | beyond;
    const uint32_t highs = levels.highs();
    for (int g = 0; g < digits; ++g) {
        const int shift = 4 * g;
        const uint32_t x = (xs >> shift) & 0xFu;
        const uint32_t z = (zs >> shift) & 0xFu;
        char c;
        if (x == 0xFu)
            c = 'x';
        else if (x != 0)
            c = 'X';
        else if (z == 0xFu)
            c = 'z';
        else if (z != 0)
            c = 'Z';
        else
            c = "0123456789abcdef"[(highs >> shift) & 0xFu];
        buffer[digits - 1 - g] = c;
    }
    return true;
}

void SIM_packed_wires::track() {
    bool all = count_ <= 32;
    for (int i = 0; i < count_ && all; ++i) all = nets_[i]->track_packing(this, &state_, i);
    if (all && !tracked_)
        queue_->register_wires(this);
    tracked_ = all;
}

void SIM_packed_wires::store_level(uint32_t bits, logic_value v) {
    for (; bits != 0; bits &= bits - 1) {
        SIM_net* net = nets_[__builtin_ctz(bits)];
        net->level[0] = net->level[1] = v;
    }
}

void SIM_packed_wires::resolve_members() {
    // A net queued since the boundary that resolved it as a word (a change
    // of its members, say) gets its literal next buffer back, the level
    // before that boundary: resolved again, it is overwritten, but a net
    // left with no ports keeps it and shows it in turn.
    for (uint32_t bits = state_.kept & state_.queued; bits != 0; bits &= bits - 1) {
        const int i = __builtin_ctz(bits);
        SIM_net* net = nets_[i];
        net->level[net->next_phase()] = previous_.at(i);
    }
    // Both buffers of last time's other nets hold the level of the coming cycle.
    state_.kept = 0;
    const uint32_t changed = member_changed_;
    if (changed == 0)
        return;
    member_changed_ = 0;
    // Where no vector is at X, L or H: some at 1 (bit0), all at 1 or Z
    // (bit0 or bit1), so some at 0 where not.
    uint32_t ones = 0, no_zero = ~uint32_t{0}, others = 0;
    for (const SIM_port_vector* vector : vectors_) {
        const SIM_level_planes& c = vector->cur_;
        ones |= c.bit0;
        no_zero &= c.bit0 | c.bit1;
        others |= vector->cur_others_;
    }
    SIM_level_planes& levels = state_.levels;
    const uint32_t words = changed & state_.words & ~others & ~state_.queued & ~levels.bit2;
    for (uint32_t bits = changed & ~words; bits != 0; bits &= bits - 1) {
        SIM_net* net = nets_[__builtin_ctz(bits)];
        net->active_valid = false;
        if (!net->dirty)
            queue_->add_net(net);
    }
    // Level codes: 0 at 0, 1 at 1, Z (2) where none, X (3) where both.
    const SIM_level_planes word{ones, ones ^ no_zero, 0};
    const uint32_t renewed = words & SIM_level_planes::differ(word, levels);
    store_level(renewed & ~word.bit1 & word.bit0, V1);
    store_level(renewed & ~word.bit1 & ~word.bit0, V0);
    store_level(renewed & word.bit1 & ~word.bit0, VZ);
    store_level(renewed & word.bit1 & word.bit0, VX);
    previous_ = levels;
    levels = SIM_level_planes::select(words, word, levels);
    state_.kept = renewed;
}

void SIM_packed_wires::update_layout(const std::vector<SIM_port_vector*>& vectors) {
    vectors_.clear();
    uint32_t words = 0;
    for (SIM_port_vector* vector : vectors) {
        if (vector->count_ != count_)
            continue;
        bool mine = true;
        for (int i = 0; i < count_ && mine; ++i) {
            const SIM_net* net = vector->ports_[i]->net;
            mine = net && net->packed_owner == this && net->packed_bit == i;
        }
        if (mine) {
            vector->wires_ = this;
            vectors_.push_back(vector);
        }
    }
    // Every member of net i is then bit i of one of vectors_ (a port is a
    // bit of one vector only), so equal counts mean no other member.
    for (int i = 0; i < count_ && !vectors_.empty(); ++i)
        if (nets_[i]->members.size() == vectors_.size())
            words |= uint32_t{1} << i;
    state_.words = words;
    // Counts are kept again by the fold, or no longer.
    for (int i = 0; i < count_; ++i) nets_[i]->active_valid = false;
}
