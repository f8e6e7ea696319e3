#include "kernel/port_vector.h"

#include "kernel/packed_wires.h"

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
        cur_.set(i, port->level[clock_->cur_phase]);
        next_.set(i, port->level[clock_->next_phase]);
    }
    cur_others_ = cur_.others();
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
    next_.set(i, v);
    touched_ |= bit;
    driven_ |= bit;
    if (!queued_) {
        queued_ = true;
        queue_->add_vector(this);
    }
}

void SIM_port_vector::force_bit(int i, logic_value v) {
    catch_up();
    cur_.set(i, v);
    next_.set(i, v);
    cur_others_ = cur_.others();
    driven_ &= ~(uint32_t{1} << i);
}

logic_value SIM_port_vector::next_level(int i) const {
    return next_planes().at(i);
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
        next_.set(i, v);
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

void SIM_port_vector::store_levels(uint32_t bits, const SIM_level_planes& levels) {
    for (; bits != 0; bits &= bits - 1) {
        const int i = __builtin_ctz(bits);
        SIM_port* port = ports_[i];
        port->level[0] = port->level[1] = levels.at(i);
    }
}

uint32_t SIM_port_vector::commit() {
    queued_ = false;
    catch_up();
    const SIM_level_planes c = cur_;
    // The committed levels: a driven bit's next level, any other's current.
    const SIM_level_planes k = SIM_level_planes::select(driven_, next_, c);
    const uint32_t changed = SIM_level_planes::differ(k, c) & mask_;
    // Without a packing, the nets count their members' changes.
    if (!wires_) {
        for (uint32_t bits = changed; bits != 0; bits &= bits - 1) {
            const int i = __builtin_ctz(bits);
            SIM_port* port = ports_[i];
            if (port->net) {
                port->net->note_member_level(port, c.at(i), k.at(i));
                if (!port->net->dirty)
                    queue_->add_net(port->net);
            }
        }
    }
    // After the boundary: the committed levels, and the previous ones as
    // the next levels until the ports are driven.
    cur_ = k;
    cur_others_ = k.others();
    next_ = c;
    epoch_ = queue_->boundary() + 1;
    driven_ = 0;
    const uint32_t writes = changed | touched_;
    touched_ = 0;
    // Both buffers get the committed level.
    const uint32_t others = writes & cur_others_;
    const uint32_t plain = writes & ~others;
    store_level(plain & k.ones(), V1);
    store_level(plain & k.bit1, VZ);
    store_level(plain & k.zeros(mask_), V0);
    store_levels(others, k);
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
