#pragma once
// The bus arbiter. It owns one REQ# and one GNT# line per attached master,
// samples the requests every clock and hands GNT# to one master at a time.
// It also holds the bus's pull-ups: weak highs on the shared control lines,
// so that a released line reads high.

#include <cstdint>
#include <memory>

#include "kernel/signal.h"
#include "pci/agent.h"
#include "pci/defaults.h"

class PCI_master;

class PCI_arbiter_base : public PCI_agent {
  public:
    // Most masters one arbiter serves.
    static constexpr int max_masters = 8;
    // Exit status of a design with too many masters.
    static constexpr int too_many_masters_status = 10;

    PCI_arbiter_base(const char* name, SIM_instance* parent);

    // Creates master number master_count's request and grant lines: the
    // arbiter's ports req<i>/gnt<i> and nets of the same names under parent,
    // joined to the master's req and gnt ports. A ninth master throws
    // SIM_error (two lines, status 10) and changes nothing.
    void attach_master(SIM_instance& parent, PCI_master& master);
    // The same for any pair of request/grant pins.
    void attach_ports(SIM_instance& parent, SIM_port& master_req, SIM_port& master_gnt);

    // Pull-ups on, every GNT# deasserted, no owner.
    void reset() override;
    void clock() override = 0;

    int32_t masters() const { return master_count; }
    int32_t current_owner() const { return owner; }

  protected:
    // Whether master i requests: its REQ# line is exactly 0.
    bool requests(int i) const { return req_ports[i]->read() == V0; }

    int32_t master_count = 0;               // attached masters, 0 to 8
    int32_t owner = -1;                     // master whose GNT# is asserted, -1 none
    int32_t idle_count = 0;                 // idle clocks (FRAME#, IRDY# high) since the grant
    bool grant_fresh = true;                // owner has not started a transaction since
    SIM_port* req_ports[max_masters] = {};  // own port on master i's REQ# net
    SIM_port* gnt_ports[max_masters] = {};  // own port on master i's GNT# net

  private:
    std::unique_ptr<SIM_port> port_storage[2 * max_masters];  // owns the ports above
    std::unique_ptr<SIM_net> net_storage[2 * max_masters];    // owns the REQ#/GNT# nets
};

// Rotating priority with a maximum tenure (MTT), an idle limit and parking
// on the last owner.
class PCI_arbiter : public PCI_arbiter_base {
  public:
    PCI_arbiter(const char* name, SIM_instance* parent);

    void set_mtt(int32_t value) { mtt = value; }
    // The maximum tenure in effect.
    int32_t mtt_value() const { return mtt; }
    // A granted master that has not started loses GNT# after this many idle
    // clocks if another master requests.
    void set_idle_limit(int32_t value) { idle_limit = value; }
    int32_t idle_limit_value() const { return idle_limit; }
    void reset() override;
    void clock() override;

  private:
    int32_t mtt = pci_defaults::mtt;                // tenure after which an owner may lose GNT#
    int32_t idle_limit = pci_defaults::idle_limit;  // idle clocks after which a grant may go
    int32_t tenure = 0;                             // clocks counted since the last grant
};

// Fixed priority, lowest master number first; no MTT, no parking.
class PCI_priority_arbiter : public PCI_arbiter_base {
  public:
    PCI_priority_arbiter(const char* name, SIM_instance* parent);
    void clock() override;
};
