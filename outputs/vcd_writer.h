#pragma once
// The waveform export (option --vcd): a value change dump (IEEE 1364 VCD) of
// chosen wires, written as the run goes. Time 0 holds the levels after the
// reset, before the first clock; the levels after the k-th clock stand at
// 30·k ns (one 33 MHz cycle), where a clock signal rises, and it falls half a
// cycle later. Only changed values are written, through a large buffer; the
// header holds nothing that differs from one run to the next.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kernel/logic.h"
#include "kernel/wire_levels.h"
#include "outputs/observer.h"

class SIM_name;
class SIM_packed_wires;
class SIM_signal;
struct SIM_clock;
struct PCI_design_view;

// How many of the six levels the file keeps apart.
enum class PCI_vcd_levels {
    four,  // 0 1 z x; weak L and H written as 0 and 1
    six,   // weak L and H kept, written as l and h
};

class PCI_vcd_writer : public SIM_observer {
  public:
    // A writer for path; nothing is created before open().
    PCI_vcd_writer(std::string path, PCI_vcd_levels levels);
    ~PCI_vcd_writer() override;
    PCI_vcd_writer(const PCI_vcd_writer&) = delete;
    PCI_vcd_writer& operator=(const PCI_vcd_writer&) = delete;

    // Declares the clock signal, named name in the scope path (outermost
    // first). Declarations come before on_start().
    void add_clock(std::vector<std::string> scope, std::string name);
    // Declares a wire of bits.size() bits, element 0 as bit 0 (a vector when
    // more than one), named name in the scope path. packed, if given, reads
    // the same wires as one number: with four levels, a complete word is
    // written without reading each bit.
    void add_wire(std::vector<std::string> scope, std::string name,
                  std::vector<const SIM_signal*> bits, const SIM_packed_wires* packed = nullptr);

    // Creates (or empties) the file. Returns an error text, empty on success.
    std::string open();

    // Writes the header and the levels at time 0.
    void on_start() override;
    // Writes the cycle's clock edges and changed values.
    void on_cycle(const SIM_cycle_info& info) override;
    // Writes what is buffered and closes the file; returns the first write
    // error as a text, or an empty string.
    std::string on_finish() override;

  private:
    // Widest wire a variable may have.
    static constexpr size_t max_width = 32;

    // One declared VCD variable.
    struct variable {
        std::vector<std::string> scope;       // scope path, outermost first
        std::string name;                     // reference name in the file
        std::string id;                       // short identifier code
        std::vector<const SIM_signal*> bits;  // the wires, element 0 = bit 0; empty for the clock
        bool nets = false;                    // every bit is a net (else every bit is a port)
        char last[max_width] = {};            // characters written last, element 0 = bit 0
        const SIM_packed_wires* packed;       // the bits as one number; null if none
        std::size_t first_wire = 0;           // bit 0's index in the writer's wires (on_start)
        uint32_t last_word = 0;               // last written as a complete word
        bool last_complete = false;           // the last value written was last_word
    };

    // What the per-cycle loop reads of one variable, kept together.
    struct slot {
        std::size_t first_wire;  // bit 0's index in the writer's wires
        variable* var;           // the variable
        const char* id;          // its identifier code
        uint32_t width;          // its bits; 0 for the clock
        uint32_t id_length;      // characters of id
        char last;               // a scalar's character written last
    };

    // Writes variable's value if it changed (or all is set) from its packed
    // word; returns false, writing nothing, when the word is not complete.
    bool write_packed(variable& v, bool all, char*& out);

    // Writes the $scope/$var/$upscope lines of every variable.
    void write_declarations();
    // The writers below put their text at out, in room already reserved,
    // and advance it.
    // Writes the value of every wire that changed since the last sample (all
    // of them when all is set).
    void write_changes(bool all, char*& out);
    // Writes "#time" and a new line.
    static void write_time(int64_t time, char*& out);
    // Writes the identifier and a new line after a value.
    static void write_id(const std::string& id, char*& out);
    // Writes a scalar change of variable to value.
    static void write_scalar(char value, const std::string& id, char*& out);
    // Appends bytes to the buffer, writing it out first when full.
    void put(const char* text, size_t size);
    void put(const std::string& text) { put(text.data(), text.size()); }
    // Makes room for size more bytes in the buffer.
    void reserve(size_t size);
    // Writes the buffer to the file; remembers the first error.
    void flush_buffer();

    std::string path_;                 // the file's name as given
    const char* level_chars_;          // the character written for each level code
    std::vector<variable> variables_;  // declared variables, in declaration order
    std::string clock_id_;             // identifier of the clock; empty if none
    int fd_ = -1;                      // the open file; -1 before open() and after closing
    int error_ = 0;                    // errno of the first failed write; 0 none
    std::unique_ptr<char[]> buffer_;   // output waiting to be written
    size_t used_ = 0;                  // bytes of buffer_ in use
    size_t cycle_bytes_ = 0;           // most bytes one cycle can write
    SIM_wire_levels wires_;            // every variable's wires, bit 0 first (on_start)
    std::vector<slot> slots_;          // the variables as the per-cycle loop reads them
};

// Declares the design's wires in writer: the clock "clk" under the top, the
// bus signals under the bus and each master's REQ# and GNT# under that
// master (a scope per master). With split_vectors, AD and C/BE# are written as one wire
// per bit (ad0..ad31, cbe_n0..cbe_n3) instead of two vectors, for readers
// that take no vectors.
void watch_design(PCI_vcd_writer& writer, const PCI_design_view& view, bool split_vectors);
