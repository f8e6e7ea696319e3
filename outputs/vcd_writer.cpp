#include "outputs/vcd_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "kernel/packed_wires.h"
#include "kernel/signal.h"
#include "outputs/design_view.h"
#include "pci/bus.h"

namespace {
// Bytes gathered before one write to the file.
constexpr size_t buffer_size = size_t{1} << 20;
// One cycle of the 33 MHz bus, in the file's time unit (1 ns).
constexpr int64_t cycle_ns = 30;
// First and last printable character of an identifier code.
constexpr char first_id_char = '!';
constexpr char last_id_char = '~';

// The character written for each level code (0, 1, Z, X, L, H).
constexpr const char four_levels[] = "01zx01";
constexpr const char six_levels[] = "01zxlh";

// The eight binary digits of every byte, most significant first.
struct binary_table {
    char text[256][8];  // text[n] spells n
    constexpr binary_table() : text() {
        for (int n = 0; n < 256; ++n)
            for (int bit = 0; bit < 8; ++bit) text[n][7 - bit] = (n >> bit) & 1 ? '1' : '0';
    }
};
constexpr binary_table binary_bytes;

// Identifier code number n: base 94 over the printable characters.
std::string id_code(size_t n) {
    constexpr size_t base = last_id_char - first_id_char + 1;
    std::string id;
    do {
        id += static_cast<char>(first_id_char + n % base);
        n /= base;
    } while (n != 0);
    return id;
}

// One level of the scope tree: the variables declared in it and its sub-scopes.
struct scope_node {
    std::string name;                  // the scope's own name
    std::vector<size_t> variables;     // indexes of the variables declared here
    std::vector<scope_node> children;  // nested scopes, in order of first use
};

// The scope path of a hierarchical name's parent chain, outermost first.
std::vector<std::string> scope_of(const SIM_name& name) {
    std::vector<std::string> path;
    for (const SIM_name* p = name.parent(); p != nullptr; p = p->parent())
        path.insert(path.begin(), p->own_name());
    return path;
}
}  // namespace

PCI_vcd_writer::PCI_vcd_writer(std::string path, PCI_vcd_levels levels)
    : path_(std::move(path)),
      level_chars_(levels == PCI_vcd_levels::six ? six_levels : four_levels),
      buffer_(std::make_unique<char[]>(buffer_size)) {}

PCI_vcd_writer::~PCI_vcd_writer() {
    if (fd_ >= 0)
        ::close(fd_);
}

void PCI_vcd_writer::add_clock(std::vector<std::string> scope, std::string name) {
    clock_id_ = id_code(variables_.size());
    variables_.push_back(
        {std::move(scope), std::move(name), clock_id_, {}, false, {}, nullptr, {}});
}

void PCI_vcd_writer::add_wire(std::vector<std::string> scope, std::string name,
                              std::vector<const SIM_signal*> bits, const SIM_packed_wires* packed) {
    std::string id = id_code(variables_.size());
    if (bits.size() > max_width)
        bits.resize(max_width);
    bool nets = true;
    for (const SIM_signal* bit : bits) nets = nets && dynamic_cast<const SIM_net*>(bit) != nullptr;
    // Weak levels need every bit's own level when they are kept apart.
    if (level_chars_ != four_levels)
        packed = nullptr;
    variables_.push_back(
        {std::move(scope), std::move(name), std::move(id), std::move(bits), nets, {}, packed, {}});
    // A cycle's two time lines and clock edges, and every wire changing.
    if (cycle_bytes_ == 0)
        cycle_bytes_ = 2 * (24 + 2 + clock_id_.size() + 1);
    cycle_bytes_ += variables_.back().bits.size() + 3 + variables_.back().id.size() + 1;
}

std::string PCI_vcd_writer::open() {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0)
        return "cannot create " + path_ + ": " + std::strerror(errno);
    return {};
}

void PCI_vcd_writer::on_start() {
    // The wires each bit reads, now that ports point at their nets' roots.
    wires_.clear();
    for (variable& v : variables_) {
        v.first_wire = wires_.size();
        for (const SIM_signal* bit : v.bits) {
            if (v.nets)
                wires_.add(*static_cast<const SIM_net*>(bit));
            else
                wires_.add(*static_cast<const SIM_port*>(bit));
        }
    }
    slots_.clear();
    for (variable& v : variables_)
        slots_.push_back({v.first_wire, &v, v.id.data(), static_cast<uint32_t>(v.bits.size()),
                          static_cast<uint32_t>(v.id.size()), 0});
    put("$version pcisim " PCISIM_VERSION " $end\n$timescale 1ns $end\n");
    write_declarations();
    put("$enddefinitions $end\n#0\n$dumpvars\n");
    reserve(cycle_bytes_);
    char* out = buffer_.get() + used_;
    if (!clock_id_.empty())
        write_scalar('0', clock_id_, out);
    write_changes(true, out);
    used_ = static_cast<size_t>(out - buffer_.get());
    put("$end\n");
}

void PCI_vcd_writer::on_cycle(const SIM_cycle_info& info) {
    // Room for everything this cycle can write, so that nothing below checks.
    reserve(cycle_bytes_);
    char* out = buffer_.get() + used_;
    const int64_t time = (int64_t{info.run_index} + 1) * cycle_ns;
    write_time(time, out);
    if (!clock_id_.empty())
        write_scalar('1', clock_id_, out);
    write_changes(false, out);
    if (!clock_id_.empty()) {
        write_time(time + cycle_ns / 2, out);
        write_scalar('0', clock_id_, out);
    }
    used_ = static_cast<size_t>(out - buffer_.get());
}

std::string PCI_vcd_writer::on_finish() {
    flush_buffer();
    if (fd_ >= 0) {
        if (::close(fd_) != 0 && error_ == 0)
            error_ = errno;
        fd_ = -1;
    }
    if (error_ != 0)
        return "cannot write " + path_ + ": " + std::strerror(error_);
    return {};
}

void PCI_vcd_writer::write_declarations() {
    scope_node root;
    for (size_t i = 0; i < variables_.size(); ++i) {
        scope_node* node = &root;
        for (const std::string& part : variables_[i].scope) {
            scope_node* next = nullptr;
            for (scope_node& child : node->children)
                if (child.name == part)
                    next = &child;
            if (next == nullptr) {
                node->children.push_back({part, {}, {}});
                next = &node->children.back();
            }
            node = next;
        }
        node->variables.push_back(i);
    }
    // Variables of a scope first, then its sub-scopes.
    auto emit = [this](auto& self, const scope_node& node) -> void {
        for (size_t i : node.variables) {
            const variable& v = variables_[i];
            const size_t width = v.bits.empty() ? 1 : v.bits.size();
            std::string line = "$var wire " + std::to_string(width) + ' ' + v.id + ' ' + v.name;
            if (width > 1)
                line += " [" + std::to_string(width - 1) + ":0]";
            put(line + " $end\n");
        }
        for (const scope_node& child : node.children) {
            put("$scope module " + child.name + " $end\n");
            self(self, child);
            put("$upscope $end\n");
        }
    };
    emit(emit, root);
}

void PCI_vcd_writer::write_changes(bool all, char*& out) {
    if (wires_.size() == 0)
        return;
    const SIM_wire_levels::view now = wires_.now();
    for (slot& s : slots_) {
        const uint32_t width = s.width;
        if (width == 0)
            continue;
        if (width == 1) {
            // A scalar: one read, one comparison.
            const char c = level_chars_[now[s.first_wire]];
            if (!all && c == s.last)
                continue;
            s.last = c;
            *out++ = c;
            for (uint32_t i = 0; i < s.id_length; ++i) *out++ = s.id[i];
            *out++ = '\n';
            continue;
        }
        variable& v = *s.var;
        if (v.packed != nullptr && write_packed(v, all, out))
            continue;
        if (v.last_complete) {
            // The last value went out as a word: its characters, for the comparison.
            for (size_t b = 0; b < width; ++b) v.last[b] = (v.last_word >> b) & 1u ? '1' : '0';
            v.last_complete = false;
        }
        char sample[max_width];
        bool changed = all;
        for (size_t b = 0; b < width; ++b) {
            sample[b] = level_chars_[now[s.first_wire + b]];
            changed = changed || sample[b] != v.last[b];
        }
        if (!changed)
            continue;
        std::memcpy(v.last, sample, width);
        *out++ = 'b';
        for (size_t b = width; b-- > 0;) *out++ = sample[b];
        *out++ = ' ';
        write_id(v.id, out);
    }
}

bool PCI_vcd_writer::write_packed(variable& v, bool all, char*& out) {
    uint32_t word = 0;
    if (!v.packed->read(word))
        return false;
    if (!all && v.last_complete && word == v.last_word)
        return true;
    v.last_word = word;
    v.last_complete = true;
    *out++ = 'b';
    // Most significant bit first, eight characters per byte of the word.
    const size_t width = v.bits.size();
    for (size_t b = width; b > 0;) {
        const size_t take = b % 8 != 0 ? b % 8 : 8;
        b -= take;
        const char* chars = binary_bytes.text[(word >> b) & 0xFFu] + (8 - take);
        std::memcpy(out, chars, take);
        out += take;
    }
    *out++ = ' ';
    write_id(v.id, out);
    return true;
}

void PCI_vcd_writer::write_id(const std::string& id, char*& out) {
    // Identifiers are a character or two: no call for the copy.
    for (const char c : id) *out++ = c;
    *out++ = '\n';
}

void PCI_vcd_writer::write_time(int64_t time, char*& out) {
    *out++ = '#';
    out = std::to_chars(out, out + 20, time).ptr;
    *out++ = '\n';
}

void PCI_vcd_writer::write_scalar(char value, const std::string& id, char*& out) {
    *out++ = value;
    write_id(id, out);
}

void PCI_vcd_writer::reserve(size_t size) {
    if (used_ + size > buffer_size)
        flush_buffer();
}

void PCI_vcd_writer::put(const char* text, size_t size) {
    reserve(size);
    std::memcpy(buffer_.get() + used_, text, size);
    used_ += size;
}

void PCI_vcd_writer::flush_buffer() {
    const char* data = buffer_.get();
    size_t left = used_;
    used_ = 0;
    while (left > 0 && fd_ >= 0 && error_ == 0) {
        const ssize_t written = ::write(fd_, data, left);
        if (written < 0) {
            if (errno != EINTR)
                error_ = errno;
            continue;
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
}

void watch_design(PCI_vcd_writer& writer, const PCI_design_view& view, bool split_vectors) {
    writer.add_clock({view.top}, "clk");
    const PCI_bus& bus = view.bus;
    const std::vector<std::string> bus_scope = scope_of(bus.frame.name);
    // Active-low wires carry "_n" after their own name.
    auto scalar = [&](const SIM_net& net, const char* suffix) {
        writer.add_wire(bus_scope, net.name.own_name() + suffix, {&net});
    };
    // AD and C/BE#: one vector, or one wire per bit named with its number.
    auto vector_wire = [&](SIM_net* const* nets, int count, const char* suffix,
                           const SIM_packed_wires* packed) {
        const std::string name = nets[0]->name.own_name() + suffix;
        if (!split_vectors) {
            writer.add_wire(bus_scope, name, std::vector<const SIM_signal*>(nets, nets + count),
                            packed);
            return;
        }
        for (int i = 0; i < count; ++i)
            writer.add_wire(bus_scope, name + std::to_string(i), {nets[i]});
    };
    scalar(bus.frame, "_n");
    scalar(bus.devsel, "_n");
    scalar(bus.stop, "_n");
    scalar(bus.trdy, "_n");
    scalar(bus.irdy, "_n");
    scalar(bus.perr, "_n");
    scalar(bus.serr, "_n");
    scalar(bus.par, "");
    scalar(bus.lock, "_n");
    vector_wire(bus.ad, 32, "", &bus.ad_word);
    vector_wire(bus.cbe, 4, "_n", &bus.cbe_word);
    for (const PCI_random_master* master : view.masters) {
        writer.add_wire(scope_of(master->req.name), master->req.name.own_name() + "_n",
                        {&master->req});
        writer.add_wire(scope_of(master->gnt.name), master->gnt.name.own_name() + "_n",
                        {&master->gnt});
    }
}
