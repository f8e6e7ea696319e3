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
    const uint32_t code0 = planes_[packed_code0];
    const uint32_t code1 = planes_[packed_code1];
    const uint32_t xs = code0 & code1 & ~beyond;
    const uint32_t zs = (code1 & ~code0) | beyond;
    const uint32_t highs = planes_[packed_high];
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
    for (int i = 0; i < count_ && all; ++i) all = nets_[i]->track_packing(this, planes_, i);
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
    // Both buffers of last time's nets hold the level of the coming cycle.
    planes_[packed_kept] = 0;
    const uint32_t changed = member_changed_;
    if (changed == 0)
        return;
    member_changed_ = 0;
    uint32_t ones = 0, zeros = 0, others = 0;
    for (const SIM_port_vector* vector : vectors_) {
        ones |= vector->cur_.ones;
        zeros |= vector->cur_zeros_;
        others |= vector->cur_.others;
    }
    const uint32_t words =
        changed & planes_[packed_words] & ~others & ~planes_[packed_queued] & ~planes_[packed_weak];
    for (uint32_t bits = changed & ~words; bits != 0; bits &= bits - 1) {
        SIM_net* net = nets_[__builtin_ctz(bits)];
        net->active_valid = false;
        if (!net->dirty)
            queue_->add_net(net);
    }
    // Level codes: 0 at 0, 1 at 1, Z (2) where none, X (3) where both.
    const uint32_t code0 = ones;
    const uint32_t code1 = ~(ones ^ zeros);
    const uint32_t old0 = planes_[packed_code0];
    const uint32_t old1 = planes_[packed_code1];
    const uint32_t renewed = words & ((code0 ^ old0) | (code1 ^ old1));
    store_level(renewed & ~code1 & code0, V1);
    store_level(renewed & ~code1 & ~code0, V0);
    store_level(renewed & code1 & ~code0, VZ);
    store_level(renewed & code1 & code0, VX);
    planes_[packed_high] = (planes_[packed_high] & ~words) | (code0 & ~code1 & words);
    planes_[packed_neither] = (planes_[packed_neither] & ~words) | (code1 & words);
    planes_[packed_code0] = (old0 & ~words) | (code0 & words);
    planes_[packed_code1] = (old1 & ~words) | (code1 & words);
    planes_[packed_kept] = renewed;
    previous_[0] = old0;
    previous_[1] = old1;
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
    planes_[packed_words] = words;
    // Counts are kept again by the fold, or no longer.
    for (int i = 0; i < count_; ++i) nets_[i]->active_valid = false;
}
