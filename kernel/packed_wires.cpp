#include "kernel/packed_wires.h"

void SIM_packed_wires::track() {
    if (tracked_ || count_ < 0 || count_ > 32)
        return;
    SIM_boundary::net_ref refs[32];
    for (int i = 0; i < count_; ++i) refs[i] = nets_[i]->ref();
    tracked_ = boundary_->track(ref_, refs, count_);
}
