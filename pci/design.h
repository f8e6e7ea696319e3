#pragma once
// A design as a plain value: the arbiter, each master with its traffic, each
// target with its window, timing and terminations, and the monitor's cards.
// The test bench is built from one; the design file is read into one and
// written back from one; the outputs take their names and counts from one.
// builtin_design() returns the design the program runs without a file.
//
// Randomness is declared by shape: a PCI_draw written as a plain number draws
// nothing, one written as a range [lo, hi] draws exactly one number per use,
// lo + next() % (hi - lo + 1), even where lo == hi.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pci/commands.h"
#include "pci/defaults.h"


// A number that is either fixed or drawn once per use from a range.
struct PCI_draw {
    int64_t lo = 0;       // the value, or the low end of the range
    int64_t hi = 0;       // the value, or the high end (lo <= hi)
    bool ranged = false;  // written as [lo, hi]: one draw per use

    static PCI_draw fixed(int64_t value) { return {value, value, false}; }
    static PCI_draw range(int64_t low, int64_t high) { return {low, high, true}; }
    bool operator==(const PCI_draw&) const = default;
};

// A master's address window: a block of a target's window.
struct PCI_window_spec {
    std::string target;      // the target's name
    uint32_t offset = 0;     // from the target's BAR base, bytes
    uint32_t size = 0x8000;  // bytes; a power of two
    int32_t weight = 1;      // share among the master's windows
    bool operator==(const PCI_window_spec&) const = default;
};

// How a master picks the start address of a new transaction.
enum class PCI_address_mode {
    random,      // one draw in the window, word aligned
    sequential,  // right after the previous transaction, wrapping; no draw
};

// When a master whose Latency Timer expired and whose GNT# is gone lets go.
enum class PCI_timer_expiry {
    immediate,         // FRAME# deasserted at once, even in a waited data phase
    after_data_phase,  // the current data phase completes first
};

struct PCI_master_spec {
    std::string name;               // instance name, unique among agents
    int32_t transactions = pci_defaults::transactions;  // transactions to run
    int32_t latency_timer = pci_defaults::latency_timer;  // Latency Timer, 0..255
    int32_t retry_overhead = pci_defaults::retry_overhead;  // off a retry hint; -1 ignores hints
    bool fast_back_to_back = true;  // Fast Back-to-Back Enable in the Command register
    int32_t reads = 0;              // share of reads in percent; one draw per transaction
    PCI_draw read_length = PCI_draw::fixed(1);            // data phases of a read
    PCI_draw write_length = PCI_draw::fixed(1);           // data phases of a write
    std::vector<PCI_window_spec> windows;                 // one draw picks one when several
    PCI_address_mode address = PCI_address_mode::random;  // address picking
    uint32_t read_command = CMD_MEMORY_READ;              // 6, 12 or 14
    uint32_t write_command = CMD_MEMORY_WRITE;            // 7 or 15
    PCI_draw gap = PCI_draw::fixed(0);                    // idle clocks between transactions
    PCI_draw initial_wait = PCI_draw::fixed(0);           // IRDY# delay before the first data phase
    PCI_draw burst_wait = PCI_draw::fixed(0);             // IRDY# delay before each later one
    PCI_timer_expiry latency_timer_expiry = PCI_timer_expiry::immediate;
    std::optional<int32_t> seed;         // random source seed; none: derived
    std::optional<uint32_t> multiplier;  // 16-bit data pattern multiplier; none: derived
    bool operator==(const PCI_master_spec&) const = default;
};

// What ends a target's burst with a Disconnect with data.
enum class PCI_disconnect_kind {
    none,         // only the end of the BAR window
    after,        // after a drawn number of data phases (count runs across transactions)
    at_boundary,  // at the last word of every block of `boundary` bytes
};

struct PCI_target_spec {
    std::string name;             // instance name, unique among agents
    uint32_t bar_base = 0;        // BAR0 base, aligned to its size
    uint32_t bar_size = 0x10000;  // window size, a power of two
    bool prefetchable = true;     // BAR0 bit 3
    // Claim speed per class of command, indexed as PCI_target::Speed_entry
    // (config read, config write, memory read, memory write, I/O read, I/O write).
    std::array<PCI_decode_speed, 6> decode_speed{PCI_decode_speed::fast, PCI_decode_speed::fast,
                                                 PCI_decode_speed::fast, PCI_decode_speed::fast,
                                                 PCI_decode_speed::fast, PCI_decode_speed::fast};
    PCI_draw initial_wait_read = PCI_draw::fixed(0);   // clocks before a read's first phase
    PCI_draw initial_wait_write = PCI_draw::fixed(0);  // and before a write's
    bool initial_wait_split = false;           // written as { read, write } (one draw either way)
    uint32_t burst_wait_every = 0;             // bytes; 0: before every later data phase
    PCI_draw burst_wait = PCI_draw::fixed(0);  // clocks before a later data phase
    PCI_disconnect_kind disconnect = PCI_disconnect_kind::none;
    PCI_draw disconnect_after = PCI_draw::fixed(1);  // data phases, for `after`
    uint32_t disconnect_boundary = 4096;             // bytes, for `at_boundary`
    int32_t init_retry_threshold = pci_defaults::init_retry_threshold;  // first phase: most clocks
    int32_t burst_retry_threshold = pci_defaults::burst_retry_threshold;  // later: most clocks
    bool retry_hint = true;                          // a stopped read carries a retry hint
    std::optional<int32_t> seed;                     // as for masters
    std::optional<uint32_t> multiplier;
    bool operator==(const PCI_target_spec&) const = default;
};

enum class PCI_arbiter_policy {
    rotating,  // rotating priority with MTT and idle limit, parks on the last owner
    fixed,     // lowest master number first
};

struct PCI_arbiter_spec {
    PCI_arbiter_policy policy = PCI_arbiter_policy::rotating;
    int32_t mtt = pci_defaults::mtt;  // rotating: minimum tenure of a master, clocks
    int32_t idle_limit = pci_defaults::idle_limit;  // rotating: idle clocks before regrant
    bool operator==(const PCI_arbiter_spec&) const = default;
};

// A card of the monitor's report: the addresses with (address & mask) == base.
struct PCI_card_spec {
    std::string name;  // shown in the outputs; a target's name for its own card
    uint32_t base = 0;
    uint32_t mask = 0;
    bool operator==(const PCI_card_spec&) const = default;
};

struct PCI_design {
    int32_t max_cycles = 100001;   // iterations of the main loop
    std::optional<uint32_t> seed;  // seeds of agents that give none derive from it
    PCI_arbiter_spec arbiter;
    std::vector<PCI_master_spec> masters;  // position = master number - 1, seed unit
    std::vector<PCI_target_spec> targets;  // position = target number - 1
    bool cards_from_targets = true;        // one card per target window, first
    std::vector<PCI_card_spec> cards;      // further cards, after the targets'
    bool operator==(const PCI_design&) const = default;

    // Most masters the arbiter serves, targets, and cards.
    static constexpr int max_masters = 8;
    static constexpr int max_targets = 32;
    static constexpr int max_cards = 256;
};

// The design the program runs without a design file.
PCI_design builtin_design();

// The monitor's cards in card order: one per target window (named as the
// target) when cards_from_targets, then the design's further cards.
std::vector<PCI_card_spec> all_cards(const PCI_design& design);
