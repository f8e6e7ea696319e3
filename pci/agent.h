#pragma once
// Base of every module on the PCI bus: the bundle of 47 bus pins, their
// release on reset, and the parity services (PAR one clock after AD, and the
// PERR# verdict on every strongly driven PAR of another agent).

#include <cstdint>
#include <memory>

#include "kernel/instance.h"
#include "kernel/port_vector.h"
#include "kernel/signal.h"
#include "pci/bus.h"

class PCI_agent : public SIM_instance {
  public:
    static constexpr int ad_width = 32;  // AD[31:0]
    static constexpr int cbe_width = 4;  // C/BE#[3:0]

    // Builds the ports in the order below, which is their commit order.
    PCI_agent(const char* name, SIM_instance* parent);

    // Forces every port to Z: AD, C/BE#, then the control lines.
    void reset() override;
    void clock() override = 0;

    // Drives PAR from this cycle's AD and C/BE# if this agent drives AD
    // (its own ad[0] is not Z), else releases PAR.
    void drive_parity();
    // Checks a PAR driven by another agent against the previous cycle's AD
    // and C/BE# and drives the verdict on PERR#. Always returns true.
    bool check_parity();
    // drive_parity() then check_parity(), inline, with one sampling of the
    // parity of AD and C/BE#: the start of every agent's clock.
    void clock_parity() {
        bool complete = false;
        const uint32_t parity = sample_parity(complete);
        if (ad[0]->own_level() == VZ)
            drive_first(par, VZ);
        else
            drive_first(par, !complete ? VX : parity ? V1 : V0);
        check_sampled_parity(parity, complete);
    }

    // Whether no pin of this agent is on a wire (after the reset of the
    // context, which points the pins at their wires).
    bool detached() const;

    // The bus whose wires connect_agent gave this agent's pins; its parity
    // sample is shared while the pins stay on those wires.
    void join_bus(const PCI_bus& bus) { bus_ = &bus; }

    SIM_port frame;            // FRAME#
    SIM_port devsel;           // DEVSEL#
    SIM_port stop;             // STOP#
    SIM_port trdy;             // TRDY#
    SIM_port irdy;             // IRDY#
    SIM_port perr;             // PERR#
    SIM_port serr;             // SERR#
    SIM_port par;              // PAR
    SIM_port lock;             // LOCK#, never attached to the bus
    SIM_port sbo;              // SBO#, never attached to the bus
    SIM_port sdone;            // SDONE, never attached to the bus
    SIM_port* ad[ad_width];    // AD bit i; owned through ad_ports
    SIM_port* cbe[cbe_width];  // C/BE# bit i; owned through cbe_ports

    // The AD and C/BE# pins as the words they are driven as.
    const SIM_port_vector& ad_vector() const { return ad_lines; }
    const SIM_port_vector& cbe_vector() const { return cbe_lines; }

  protected:
    // signals_to_int over this agent's AD or C/BE# pins: the word on their
    // wires.
    bool read_ad(uint32_t& result) const { return ad_lines.read_wires(result); }
    bool read_cbe(uint32_t& result) const { return cbe_lines.read_wires(result); }

    // parity32 of AD ^ C/BE# as read_ad/read_cbe give them; complete is
    // false if either was not complete.
    uint32_t sample_parity(bool& complete) const {
        if (on_bus_wires)
            return bus_->parity(complete);
        uint32_t word = 0, command = 0;
        const bool ad_ok = read_ad(word);
        const bool cbe_ok = read_cbe(command);
        complete = ad_ok && cbe_ok;
        return parity32(word ^ command);
    }
    // check_parity() with this cycle's sample already taken.
    void check_sampled_parity(uint32_t parity, bool complete) {
        const uint32_t old_parity = prev_parity;
        prev_valid = complete;
        prev_parity = parity;
        const logic_value own_par = par.own_level();
        const logic_value bus_par = par.read();
        if (own_par == VZ && (bus_par == V0 || bus_par == V1)) {
            drive_first(perr, old_parity ^ static_cast<uint32_t>(bus_par) ? V0 : V1);
        } else if (own_par == VZ && (perr.own_level() == V0 || perr.own_level() == V1)) {
            drive_first(perr, V1);
        } else {
            drive_first(perr, VZ);
        }
    }
    // The first drive of port in a clock: none if the port holds v already,
    // as an undriven port keeps its level. Most clocks drive PAR, PERR#,
    // FRAME# and IRDY# with the level they hold; the test is shorter than
    // the drive.
    static void drive_first(SIM_port& port, logic_value v) {
        if (port.own_level() != v)
            port.drive(v);
    }

    uint32_t prev_parity = 0;  // parity of AD and C/BE# sampled by the previous check_parity()
    bool prev_valid = false;   // both samples were complete

  private:
    const PCI_bus* bus_ = nullptr;  // bus joined by connect_agent, not owned
    bool on_bus_wires = false;      // AD and C/BE# pins read the bus's nets (set by reset)
    std::unique_ptr<SIM_port> ad_ports[ad_width];    // storage behind ad
    std::unique_ptr<SIM_port> cbe_ports[cbe_width];  // storage behind cbe

  protected:
    // After the ports' storage, so that they go before the ports do.
    SIM_port_vector ad_lines;   // the ad ports driven as one word
    SIM_port_vector cbe_lines;  // the cbe ports driven as one word
};
