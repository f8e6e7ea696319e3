#pragma once
// The masters that run the test traffic. PCI_retry_master backs off after a
// target retried one of its reads with a retry hint on AD (upper 24 bits
// 0x123456, low byte = clocks the target still needs). PCI_random_master
// draws word-aligned addresses in a 32 KB window above base_address and
// Memory Read or Memory Write commands from its own seeded source, and counts
// the transactions it fetches. The three concrete classes differ in their
// read share and in the burst lengths they draw.

#include <cstdint>

#include "pci/defaults.h"
#include "pci/master.h"
#include "pci/random.h"

class PCI_retry_master : public PCI_master {
  public:
    // Value of retry_overhead that switches the back-off off.
    static constexpr int32_t no_back_off = -1;

    PCI_retry_master(const char* name, SIM_instance* parent);

    void set_retry_overhead(int32_t value) { retry_overhead = value; }
    int32_t retry_overhead_value() const { return retry_overhead; }

  protected:
    // False while a hinted read retry still needs its clocks.
    bool can_start() override {
        if (!retry_pending || retry_overhead == no_back_off || !is_read())
            return true;
        return hint_served();
    }

    int32_t retry_overhead = pci_defaults::retry_overhead;  // off a retry hint; -1 = no back-off

  private:
    // After a retried read: whether its retry hint, if it had one, no longer
    // holds the master back.
    bool hint_served() const;
};

class PCI_random_master : public PCI_retry_master {
  public:
    PCI_random_master(const char* name, SIM_instance* parent);

    // Clears the transaction count, then resets the master.
    void reset() override;
    void set_trans_count(int32_t value) { trans_count = value; }
    // Transactions the master runs, and those fetched so far.
    int32_t transaction_count() const { return trans_count; }
    int32_t issued_count() const { return issued; }

    SIM_random rng;             // source of every random choice; seeded by the bench
    uint32_t base_address = 0;  // low end of the 32 KB address window

  protected:
    // Every transaction has been fetched.
    bool all_done() override { return issued >= trans_count; }
    // Counts the transaction, then draws its address.
    uint32_t next_address() override;
    // Memory Read with the read share, else Memory Write.
    uint32_t next_command() override;

    int32_t issued = 0;        // transactions fetched so far
    int32_t read_percent = 0;  // share of reads, in percent
    int32_t trans_count = 0;   // transactions to run
};

// Single-word reads; writes of 1 to 7 words. 80 % reads.
class PCI_short_master : public PCI_random_master {
  public:
    PCI_short_master(const char* name, SIM_instance* parent);

  protected:
    int32_t burst_length() override;
};

// Bursts of 8 to 383 words. 20 % reads.
class PCI_long_master : public PCI_random_master {
  public:
    PCI_long_master(const char* name, SIM_instance* parent);

  protected:
    int32_t burst_length() override { return rng.next() % 376 + 8; }
};

// Bursts of 128 words. 20 % reads.
class PCI_fixed_master : public PCI_random_master {
  public:
    PCI_fixed_master(const char* name, SIM_instance* parent);

  protected:
    int32_t burst_length() override { return 128; }
};
