#include "kernel/port_vector.h"

#include "kernel/packed_wires.h"

namespace {
// The level of bit i of p, for a bit not at X, L or H.
logic_value plain_level(uint32_t ones, uint32_t zs, int i) {
    return (zs >> i) & 1u ? VZ : (ones >> i) & 1u ? V1 : V0;
}
}  // namespace

SIM_port_vector::SIM_port_vector(SIM_context& context)
    : queue_(&context.commit_queue()), clock_(&context.clock()) {
    queue_->register_vector(this);
}

void SIM_port_vector::assign(SIM_port* const* ports, int count) {
    if (count_ != 0)
        return;
    count_ = count < 0 ? 0 : count > 32 ? 32 : count;
    mask_ = count_ == 32 ? ~uint32_t{0} : (uint32_t{1} << count_) - 1;
    for (int i = 0; i < count_; ++i) {
        SIM_port* port = ports[i];
        ports_[i] = port;
        port->vector_ = this;
        port->vector_bit = i;
        port->queued = true;
        set_level(cur_, i, port->level[clock_->cur_phase]);
        set_level(next_, i, port->level[clock_->next_phase]);
    }
    cur_zeros_ = mask_ & ~(cur_.ones | cur_.zs | cur_.others);
    epoch_ = queue_->boundary();
    queue_->note_topology_change();
}

SIM_port_vector::~SIM_port_vector() {
    for (int i = 0; i < count_; ++i) {
        if (ports_[i]->vector_ == this) {
            ports_[i]->vector_ = nullptr;
            ports_[i]->queued = false;
        }
    }
    queue_->unregister_vector(this);
}

void SIM_port_vector::drive_bit(int i, logic_value v) {
    const uint32_t bit = uint32_t{1} << i;
    catch_up();
    set_level(next_, i, v);
    touched_ |= bit;
    driven_ |= bit;
    if (!queued_) {
        queued_ = true;
        queue_->add_vector(this);
    }
}

void SIM_port_vector::force_bit(int i, logic_value v) {
    catch_up();
    set_level(cur_, i, v);
    set_level(next_, i, v);
    cur_zeros_ = mask_ & ~(cur_.ones | cur_.zs | cur_.others);
    driven_ &= ~(uint32_t{1} << i);
}

logic_value SIM_port_vector::next_level(int i) const {
    const int next = clock_->next_phase;
    const planes& n = next_planes();
    if ((n.others >> i) & 1u)
        return ports_[i]->level[next];
    return plain_level(n.ones, n.zs, i);
}

void SIM_port_vector::commit_bit(int i) {
    const uint32_t bit = uint32_t{1} << i;
    const int cur = clock_->cur_phase;
    const int next = clock_->next_phase;
    SIM_port* port = ports_[i];
    catch_up();
    logic_value v;
    if (driven_ & bit) {
        v = next_level(i);
    } else {
        v = port->level[cur];
        set_level(next_, i, v);
    }
    port->level[next] = v;
    touched_ |= bit;
    driven_ &= ~bit;
    if (!queued_) {
        queued_ = true;
        queue_->add_vector(this);
    }
    if (port->net) {
        port->net->active_valid = false;
        port->net->drive(v);
    }
}

void SIM_port_vector::store_level(uint32_t bits, logic_value v) {
    for (; bits != 0; bits &= bits - 1) {
        SIM_port* port = ports_[__builtin_ctz(bits)];
        port->level[0] = port->level[1] = v;
    }
}

uint32_t SIM_port_vector::commit(int cur) {
    const int next = cur ^ 1;
    queued_ = false;
    catch_up();
    const planes c = cur_;
    const planes n = next_;
    const uint32_t d = driven_;
    // The committed levels: a driven bit's next level, any other's current.
    planes k;
    k.ones = (d & n.ones) | (~d & c.ones);
    k.zs = (d & n.zs) | (~d & c.zs);
    k.others = (d & n.others) | (~d & c.others);
    uint32_t changed = ((k.ones ^ c.ones) | (k.zs ^ c.zs) | k.others | c.others) & mask_;
    // X, L and H are told apart by the ports' buffers (a driven bit at one
    // of them was driven on its own, which wrote the buffer).
    for (uint32_t bits = changed & k.others & c.others; bits != 0; bits &= bits - 1) {
        const int i = __builtin_ctz(bits);
        const SIM_port* port = ports_[i];
        if (port->level[(d >> i) & 1u ? next : cur] == port->level[cur])
            changed &= ~(uint32_t{1} << i);
    }
    // After the boundary: the committed levels, and the previous ones as
    // the next levels until the ports are driven.
    cur_ = k;
    cur_zeros_ = mask_ & ~(k.ones | k.zs | k.others);
    next_ = c;
    epoch_ = queue_->boundary() + 1;
    driven_ = 0;
    const uint32_t writes = changed | touched_ | refresh_;
    touched_ = 0;
    refresh_ = 0;
    // Bits at 0, 1 or Z before and after, on a packing that takes their
    // nets: both buffers get the committed level.
    const uint32_t slow = wires_ ? writes & (k.others | c.others) : writes;
    const uint32_t fast = writes & ~slow;
    store_level(fast & k.ones, V1);
    store_level(fast & k.zs, VZ);
    store_level(fast & ~(k.ones | k.zs), V0);
    for (uint32_t bits = slow; bits != 0; bits &= bits - 1) {
        const int i = __builtin_ctz(bits);
        SIM_port* port = ports_[i];
        const logic_value v = (k.others >> i) & 1u ? port->level[(d >> i) & 1u ? next : cur]
                                                   : plain_level(k.ones, k.zs, i);
        if (!wires_ && port->net && v != port->level[cur]) {
            port->net->note_member_level(port, port->level[cur], v);
            if (!port->net->dirty)
                queue_->add_net(port->net);
        }
        port->level[next] = v;
        if ((c.others >> i) & 1u) {
            // The current X, L or H stays for read_next() of the next cycle,
            // and is overwritten at the next boundary.
            refresh_ |= uint32_t{1} << i;
        } else {
            port->level[cur] = v;
        }
    }
    // Back at the next boundary for those.
    queued_ = refresh_ != 0;
    return changed;
}

void SIM_port::drive_in_vector(logic_value v) {
    vector_->drive_bit(vector_bit, v);
}

void SIM_port::note_force_in_vector() {
    vector_->force_bit(vector_bit, level[0]);
}

void SIM_port::commit_in_vector() {
    vector_->commit_bit(vector_bit);
}

logic_value SIM_port::next_in_vector() const {
    return vector_->next_level(vector_bit);
}
