// The boundary's vectors of ports and packings of nets: levels as words.
#include <algorithm>

#include "kernel/boundary.h"

// ---- Vectors ----

SIM_boundary::vector_ref SIM_boundary::add_vector() {
    ++topology_;
    return &all_vectors_.emplace_back();
}

void SIM_boundary::assign(vector_ref vector, const port_ref* ports, int count) {
    if (vector->count != 0)
        return;
    const int64_t cur = clock_.cur_phase;
    const int64_t next = clock_.next_phase;
    vector->count = std::clamp(count, 0, 32);
    vector->mask = vector->count == 32 ? ~uint32_t{0} : (uint32_t{1} << vector->count) - 1;
    for (int i = 0; i < vector->count; ++i) {
        port_record* port = ports[i];
        vector->ports[i] = port;
        // The port's levels move into the planes.
        vector->cur.set(i, port->level[cur]);
        vector->next.set(i, port->level[next]);
        port->vector = vector;
        port->bit = i;
        port->queued = true;
        vector->shown[i][0] = vector->shown[i][1] = port->level[cur];
        port->own = vector->shown[i];
        if (port->net == nullptr)
            port->wire = vector->shown[i];
    }
    vector->cur_others = vector->cur.others();
    // A stale next level is refreshed at the next boundary.
    if (!(vector->next == vector->cur))
        last_vectors_.push(vector);
    note_topology_change();
}

void SIM_boundary::drive_bit(port_record* port, logic_value v) {
    vector_record* vector = port->vector;
    vector->next.set(port->bit, v);
    vector->driven |= uint32_t{1} << port->bit;
    if (!vector->queued) {
        vector->queued = true;
        vectors_.push(vector);
    }
}

void SIM_boundary::force_bit(port_record* port, logic_value v) {
    vector_record* vector = port->vector;
    vector->cur.set(port->bit, v);
    vector->next.set(port->bit, v);
    vector->shown[port->bit][0] = vector->shown[port->bit][1] = v;
    vector->cur_others = vector->cur.others();
    vector->driven &= ~(uint32_t{1} << port->bit);
}

void SIM_boundary::commit_bit(port_record* port) {
    vector_record* vector = port->vector;
    const int i = port->bit;
    const uint32_t bit = uint32_t{1} << i;
    // A driven bit has queued its vector, whose commit puts the bit's next
    // level back to its current one, as the boundary does for an undriven
    // port; an undriven bit's next level is its current one from here on.
    logic_value v;
    if ((vector->driven & bit) != 0) {
        v = vector->next.at(i);
    } else {
        v = vector->cur.at(i);
        vector->next.set(i, v);
    }
    vector->driven &= ~bit;
    if (port->net != nullptr) {
        port->net->active_valid = false;
        drive(port->net, v);
    }
}

uint32_t SIM_boundary::commit_vector(vector_record* vector) {
    vector->queued = false;
    const SIM_level_planes c = vector->cur;
    // The committed levels: a driven bit's next level, any other's current.
    const SIM_level_planes k = SIM_level_planes::select(vector->driven, vector->next, c);
    const uint32_t changed = SIM_level_planes::differ(k, c) & vector->mask;
    // Without a packing, the nets count their members' changes.
    if (vector->wires == nullptr) {
        for (uint32_t bits = changed; bits != 0; bits &= bits - 1) {
            const int i = __builtin_ctz(bits);
            port_record* port = vector->ports[i];
            net_record* net = port->net;
            if (net == nullptr)
                continue;
            note_member_level(net, port, c.at(i), k.at(i));
            if (!net->dirty)
                queue_net(net);
        }
    }
    // After the phase flip the committed levels are current, and the next
    // buffers hold the levels before the boundary, as each port's would.
    vector->cur = k;
    vector->cur_others = k.others();
    vector->next = c;
    vector->driven = 0;
    // The copies of the current levels.
    const uint32_t others = changed & vector->cur_others;
    const uint32_t plain = changed & ~others;
    store_shown(vector, plain & k.ones(), V1);
    store_shown(vector, plain & k.bit1, VZ);
    store_shown(vector, plain & k.zeros(vector->mask), V0);
    for (uint32_t bits = others; bits != 0; bits &= bits - 1) {
        const int i = __builtin_ctz(bits);
        vector->shown[i][0] = vector->shown[i][1] = k.at(i);
    }
    return changed;
}

void SIM_boundary::store_shown(vector_record* vector, uint32_t bits, logic_value v) {
    for (; bits != 0; bits &= bits - 1) {
        logic_value* shown = vector->shown[__builtin_ctz(bits)];
        shown[0] = shown[1] = v;
    }
}

bool SIM_boundary::read_wires_one_by_one(const vector_record* vector, uint32_t& result) const {
    // signals_to_int over the ports' reads.
    result = 0;
    for (int i = vector->count - 1; i >= 0; --i) {
        const uint32_t v = static_cast<uint32_t>(read(vector->ports[i]));
        if (level_neither_bit(v))
            return false;
        result = (result << 1) | level_high_bit(v);
    }
    return true;
}

// ---- Packings ----

bool SIM_boundary::track(packing_ref packing, const net_ref* nets, int count) {
    if (!packing->nets.empty() || count > 32)
        return false;
    for (int i = 0; i < count; ++i)
        if (nets[i]->packing != nullptr)
            return false;
    packing->count = count;
    packing->nets.assign(nets, nets + count);
    for (int i = 0; i < count; ++i) {
        net_record* net = nets[i];
        net->packing = packing;
        net->packed_bit = i;
        net->packed_mask = uint32_t{1} << i;
        update_packing(net, net->level[clock_.cur_phase]);
    }
    tracked_.push_back(packing);
    ++topology_;
    return true;
}

void SIM_boundary::write_hex(const packing_record* packing, char* buffer) const {
    const int count = packing->count;
    const int digits = (count + 3) / 4;
    // Wires past count in the top digit count as Z.
    const uint32_t beyond = count >= 32 ? 0 : ~((uint32_t{1} << count) - 1);
    const SIM_level_planes& levels = packing->levels;
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
}

void SIM_boundary::note_topology_change() {
    ++topology_;
    // Until the boundary works the layout out again, vectors read their
    // wires one by one.
    for (vector_record& vector : all_vectors_) vector.wires = nullptr;
}

void SIM_boundary::update_layout() {
    layout_topology_ = topology_;
    for (vector_record& vector : all_vectors_) vector.wires = nullptr;
    for (packing_record* packing : tracked_) update_layout(packing);
}

void SIM_boundary::update_layout(packing_record* packing) {
    packing->vectors.clear();
    for (vector_record& vector : all_vectors_) {
        if (vector.count != packing->count)
            continue;
        bool mine = true;
        for (int i = 0; i < vector.count && mine; ++i) {
            const net_record* net = vector.ports[i]->net;
            mine = net != nullptr && net->packing == packing && net->packed_bit == i;
        }
        if (mine) {
            vector.wires = packing;
            packing->vectors.push_back(&vector);
        }
    }
    // Every member of net i is then bit i of one of the vectors (a port is a
    // bit of one vector only), so equal counts mean no other member.
    uint32_t words = 0;
    for (int i = 0; i < packing->count && !packing->vectors.empty(); ++i)
        if (packing->nets[i]->members.size() == packing->vectors.size())
            words |= uint32_t{1} << i;
    packing->words = words;
    // Counts are kept again by the fold, or no longer.
    for (net_record* net : packing->nets) net->active_valid = false;
}

void SIM_boundary::resolve_words(packing_record* packing, int64_t next) {
    SIM_level_planes& levels = packing->levels;
    const uint32_t changed = packing->member_changed;
    uint32_t renewed = 0;
    if (changed != 0) {
        packing->member_changed = 0;
        // Where no vector is at X, L or H: some at 1 (bit0), all at 1 or Z
        // (bit0 or bit1), so some at 0 where not.
        uint32_t ones = 0;
        uint32_t no_zero = ~uint32_t{0};
        uint32_t others = 0;
        for (const vector_record* vector : packing->vectors) {
            ones |= vector->cur.bit0;
            no_zero &= vector->cur.bit0 | vector->cur.bit1;
            others |= vector->cur_others;
        }
        // Nets queued for the fold, or at L or H now, or with a member at X,
        // L or H take the fold.
        const uint32_t words = changed & packing->words & ~others & ~packing->queued & ~levels.bit2;
        for (uint32_t bits = changed & ~words; bits != 0; bits &= bits - 1) {
            net_record* net = packing->nets[__builtin_ctz(bits)];
            net->active_valid = false;
            if (!net->dirty)
                queue_net(net);
        }
        // Level codes: 0 at 0, 1 at 1, Z (2) where none, X (3) where both.
        const SIM_level_planes word{ones, ones ^ no_zero, 0};
        renewed = words & SIM_level_planes::differ(word, levels);
        levels = SIM_level_planes::select(words, word, levels);
    }
    // The next buffers: the new level of the nets renewed now, and the
    // current level again of those renewed at the last boundary (which the
    // literal boundary writes anew), except where the fold writes them. All
    // of these are at 0, 1, Z or X.
    const uint32_t writes = (renewed | packing->renewed) & ~packing->queued;
    packing->renewed = renewed;
    // The fold takes the queued nets from here; nothing reads the marks again.
    packing->queued = 0;
    if (writes == 0)
        return;
    const uint32_t high = levels.bit0;
    const uint32_t neither = levels.bit1;
    store_next(packing, writes & high & ~neither, V1, next);
    store_next(packing, writes & ~high & ~neither, V0, next);
    store_next(packing, writes & ~high & neither, VZ, next);
    store_next(packing, writes & high & neither, VX, next);
}

void SIM_boundary::store_next(const packing_record* packing, uint32_t bits, logic_value v,
                              int64_t next) {
    for (; bits != 0; bits &= bits - 1) packing->nets[__builtin_ctz(bits)]->level[next] = v;
}
