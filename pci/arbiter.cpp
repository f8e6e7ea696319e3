#include "pci/arbiter.h"

#include <sstream>

#include "kernel/error.h"
#include "pci/master.h"

namespace {
// The debug line of a new grant. Out of line, so that the arbiter's clock
// needs no frame for its name.
[[gnu::noinline]] void report_grant(std::ostream& out, const SIM_name& arbiter, int candidate) {
    char buffer[SIM_name::buffer_size];
    out << arbiter.full_name(buffer, SIM_name::buffer_size - 1) << " Bus granted to master "
        << std::dec << candidate << std::endl;
}
}  // namespace

PCI_arbiter_base::PCI_arbiter_base(const char* name_text, SIM_instance* parent)
    : PCI_agent(name_text, parent) {}

void PCI_arbiter_base::attach_master(SIM_instance& parent, PCI_master& master) {
    attach_ports(parent, master.req, master.gnt);
}

void PCI_arbiter_base::attach_ports(SIM_instance& parent, SIM_port& master_req,
                                    SIM_port& master_gnt) {
    if (master_count >= max_masters) {
        char buffer[SIM_name::buffer_size];
        std::ostringstream text;
        text << "Too many masters for " << name.full_name(buffer, SIM_name::buffer_size - 1)
             << ".\nRequested: " << master_count << " Allowed: " << max_masters << ".\n";
        throw SIM_error(text.str(), too_many_masters_status);
    }
    const int i = master_count;
    // Slots of this master's request and grant in the storage arrays.
    const size_t req_slot = 2 * static_cast<size_t>(i);
    const size_t gnt_slot = req_slot + 1;
    // One buffer whose digit is rewritten per master; the names copy it.
    char req_name[] = "req?";
    char gnt_name[] = "gnt?";
    req_name[3] = gnt_name[3] = static_cast<char>('0' + i);

    port_storage[req_slot] = std::make_unique<SIM_port>(req_name, this);
    port_storage[gnt_slot] = std::make_unique<SIM_port>(gnt_name, this);
    req_ports[i] = port_storage[req_slot].get();
    gnt_ports[i] = port_storage[gnt_slot].get();

    net_storage[req_slot] = std::make_unique<SIM_net>(req_name, &parent.name, context());
    net_storage[gnt_slot] = std::make_unique<SIM_net>(gnt_name, &parent.name, context());
    SIM_net& req_net = *net_storage[req_slot];
    SIM_net& gnt_net = *net_storage[gnt_slot];
    req_net.connect(*req_ports[i]);
    req_net.connect(master_req);
    gnt_net.connect(*gnt_ports[i]);
    gnt_net.connect(master_gnt);
    ++master_count;
}

void PCI_arbiter_base::reset() {
    PCI_agent::reset();
    // The pull-ups: driven once, held by the ports for the whole run.
    for (SIM_port* p : {&frame, &trdy, &irdy, &devsel, &stop, &serr, &perr, &lock}) p->drive(VH);
    for (int i = 0; i < master_count; ++i) {
        req_ports[i]->force(VZ);  // REQ# belongs to the master
        gnt_ports[i]->force(V1);  // GNT# deasserted
    }
    owner = -1;
    idle_count = 0;
    grant_fresh = true;
}

PCI_arbiter::PCI_arbiter(const char* name_text, SIM_instance* parent)
    : PCI_arbiter_base(name_text, parent) {
    set_debug(0);
}

void PCI_arbiter::reset() {
    PCI_arbiter_base::reset();
    tenure = 0;
}

void PCI_arbiter::clock() {
    // While a fresh grant waits for the previous transaction to end, the
    // tenure does not run.
    if (!(grant_fresh && idle_count <= 0))
        ++tenure;

    if (frame.is_high() && irdy.is_high()) {
        ++idle_count;
    } else {
        // A transaction that starts after at least one idle clock uses the grant.
        if (frame.is_low() && idle_count != 0)
            grant_fresh = false;
        idle_count = 0;
    }

    if (owner >= 0 && requests(owner) && (tenure < mtt || grant_fresh) && idle_count < idle_limit)
        return;

    // Rotating search, starting after the owner (or at master 0).
    int last_k = owner >= 0 ? master_count - 1 : master_count;
    int candidate = -1;
    for (int k = 1; k <= last_k; ++k) {
        int c = (owner + k) % master_count;
        if (requests(c)) {
            candidate = c;
            break;
        }
    }
    if (candidate < 0)
        return;  // GNT# stays parked on the owner

    if (owner >= 0)
        gnt_ports[owner]->drive(V1);
    // After exactly one idle clock the old grant goes now, the new one later.
    if (idle_count == 1)
        return;
    gnt_ports[candidate]->drive(V0);
    if (debug)
        report_grant(sim_out(), name, candidate);
    owner = candidate;
    tenure = 0;
    idle_count = 0;
    grant_fresh = true;
}

PCI_priority_arbiter::PCI_priority_arbiter(const char* name_text, SIM_instance* parent)
    : PCI_arbiter_base(name_text, parent) {}

void PCI_priority_arbiter::clock() {
    if (owner >= 0) {
        if (requests(owner))
            return;
        gnt_ports[owner]->drive(V1);
        owner = -1;
    }
    for (int i = 0; i < master_count; ++i) {
        if (requests(i)) {
            gnt_ports[i]->drive(V0);
            owner = i;
            break;
        }
    }
}
