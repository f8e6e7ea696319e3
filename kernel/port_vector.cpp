#include "kernel/port_vector.h"

#include <algorithm>

void SIM_port_vector::assign(SIM_port* const* ports, int count) {
    SIM_boundary::port_ref refs[32];
    const int n = std::clamp(count, 0, 32);
    for (int i = 0; i < n; ++i) refs[i] = ports[i]->ref();
    boundary_->assign(ref_, refs, n);
}
