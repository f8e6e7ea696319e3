#pragma once
// Readers of the program's text outputs as a user sees them: the closing line
// (-n), the report (-s), the bus dump (-c with -g), the monitor's trace (-dm)
// and RFC 4180 CSV. They share nothing with the code that writes the data
// files, so the tests can hold those files against them.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

inline std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The lines of text; a carriage return (the -n counter) starts a new line.
inline std::vector<std::string> text_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (const char c : text) {
        if (c == '\n' || c == '\r') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

// The -n closing line: "Cyc: I t1: .. tN: .. Lat: m1: .. mN: .. Tot: T".
struct closing_line {
    int64_t index = -1;              // the iteration index
    std::vector<int64_t> transfers;  // per target, in order
    std::vector<int64_t> latency;    // summed access latency per master, in order
    int64_t total = -1;              // the Tot: figure
};

inline closing_line parse_closing_line(const std::string& out) {
    closing_line c;
    const std::vector<std::string> lines = text_lines(out);
    EXPECT_FALSE(lines.empty());
    if (lines.empty())
        return c;
    const std::string& line = lines.back();
    std::smatch m;
    EXPECT_TRUE(std::regex_match(
        line, m, std::regex(R"(Cyc: (\d+)((?: t\d+: \d+)+) Lat:((?: m\d+: \d+)+) Tot: (\d+))")))
        << line;
    if (m.empty())
        return c;
    c.index = std::stoll(m[1]);
    c.total = std::stoll(m[4]);
    const std::regex pair(R"([tm](\d+): (\d+))");
    for (const auto& [group, into] : {std::pair{2, &c.transfers}, std::pair{3, &c.latency}}) {
        const std::string part = m[group];
        for (auto it = std::sregex_iterator(part.begin(), part.end(), pair);
             it != std::sregex_iterator(); ++it) {
            EXPECT_EQ(std::stoul((*it)[1]), into->size() + 1) << part;
            into->push_back(std::stoll((*it)[2]));
        }
    }
    return c;
}

// A histogram: bin -> count, empty bins left out.
struct histogram {
    std::map<int, int64_t> bins;  // the non-empty bins

    void add(int bin, int64_t n = 1) { bins[bin] += n; }
    int64_t count(int bin) const {
        const auto it = bins.find(bin);
        return it == bins.end() ? 0 : it->second;
    }
    int64_t sum() const {
        int64_t s = 0;
        for (const auto& [bin, n] : bins) s += n;
        return s;
    }
    double weighted() const {
        double s = 0;
        for (const auto& [bin, n] : bins) s += static_cast<double>(bin) * static_cast<double>(n);
        return s;
    }
};

// One card of the -s report.
struct report_card {
    int number = -1;                                // the card's number
    uint32_t base = 0, mask = 0;                    // its window
    int64_t transfers = 0;                          // "Transfers:" (transactions claimed)
    std::map<std::string, int64_t> decode;          // FAST, MED, SLOW, SUB
    double burst_length = 0;                        // "Avarage burst length" as printed
    histogram initial, burst;                       // the latency lines
    double initial_average = 0, burst_average = 0;  // as printed
};

struct report {
    std::vector<report_card> cards;  // in the order printed
    int64_t total_transfers = -1;    // "Total transfers:"
};

inline report parse_report(const std::string& out) {
    report r;
    const std::regex card(R"(Card (\d+) Base: +([0-9a-f]+) Mask: +([0-9a-f]+) Transfers: (\d+))");
    const std::regex decode(R"(\tFAST: +(\d+) MED: +(\d+) SLOW: +(\d+) SUB: +(\d+))");
    const std::regex bin(R"(\t(Initial latency|Burst Latency):(\d+) count:(\d+) => .*)");
    const std::regex average(
        R"(\t(Initial Latency avarage|Burst Latency avarage|Avarage burst length): (\S+))");
    const std::regex total(R"(Total transfers: (\d+))");
    std::smatch m;
    for (const std::string& line : text_lines(out)) {
        if (std::regex_match(line, m, card)) {
            report_card c;
            c.number = std::stoi(m[1]);
            c.base = static_cast<uint32_t>(std::stoul(m[2], nullptr, 16));
            c.mask = static_cast<uint32_t>(std::stoul(m[3], nullptr, 16));
            c.transfers = std::stoll(m[4]);
            r.cards.push_back(c);
        } else if (std::regex_match(line, m, total)) {
            r.total_transfers = std::stoll(m[1]);
        } else if (r.cards.empty()) {
            continue;
        } else if (std::regex_match(line, m, decode)) {
            const char* names[] = {"FAST", "MED", "SLOW", "SUB"};
            for (int i = 0; i < 4; ++i) r.cards.back().decode[names[i]] = std::stoll(m[i + 1]);
        } else if (std::regex_match(line, m, bin)) {
            (m[1] == "Burst Latency" ? r.cards.back().burst : r.cards.back().initial)
                .add(std::stoi(m[2]), std::stoll(m[3]));
        } else if (std::regex_match(line, m, average)) {
            const double v = std::stod(m[2]);
            report_card& c = r.cards.back();
            (m[1] == "Avarage burst length"    ? c.burst_length
             : m[1] == "Burst Latency avarage" ? c.burst_average
                                               : c.initial_average) = v;
        }
    }
    EXPECT_GE(r.total_transfers, 0) << "no report";
    return r;
}

// One line of the bus dump, with the -g or -r levels printed after it. The
// cycle is unwrapped from the prefix of -c5 (cycle modulo 10000).
struct dump_line {
    int64_t cycle = 0;                            // the prefix
    std::map<std::string, std::string> fields;    // AD, CBE, FRAME, ... -> as printed
    std::map<std::string, std::string> grants;    // master name -> GNT# level (-g)
    std::map<std::string, std::string> requests;  // master name -> REQ# level (-r)
};

inline std::vector<dump_line> parse_dump(const std::string& out) {
    std::vector<dump_line> dump;
    const std::regex line_form(R"((\d+) (AD:.*))");
    const std::regex pin(R"((?:^|\s)(?:\S+:)?([^:\s]+):(gnt|req)=(\S))");
    int64_t wraps = 0;
    std::smatch m;
    for (const std::string& line : text_lines(out)) {
        if (std::regex_match(line, m, line_form)) {
            dump_line d;
            d.cycle = std::stoll(m[1]) + wraps;
            if (!dump.empty() && d.cycle < dump.back().cycle) {
                wraps += 10000;
                d.cycle += 10000;
            }
            std::istringstream fields(m[2]);
            for (std::string f; fields >> f;)
                d.fields[f.substr(0, f.find(':'))] = f.substr(f.find(':') + 1);
            dump.push_back(d);
        } else if (!dump.empty() && line.find(":gnt=") != std::string::npos) {
            for (auto it = std::sregex_iterator(line.begin(), line.end(), pin);
                 it != std::sregex_iterator(); ++it)
                dump.back().grants[(*it)[1]] = (*it)[3];
        } else if (!dump.empty() && line.find(":req=") != std::string::npos) {
            for (auto it = std::sregex_iterator(line.begin(), line.end(), pin);
                 it != std::sregex_iterator(); ++it)
                dump.back().requests[(*it)[1]] = (*it)[3];
        }
    }
    return dump;
}

// One transaction of the monitor's trace (-dm).
struct traced_transaction {
    std::string command;             // as printed before "Add:"
    uint32_t address = 0;            // after "Add:"
    std::string decode;              // FAST, MED, SLOW, SUB
    std::vector<int64_t> transfers;  // clocks after the address phase of each transfer
    std::string stop;                // "w/data", "w/o data" or "" (no stop)
};

inline std::vector<traced_transaction> parse_trace(const std::string& out) {
    std::vector<traced_transaction> list;
    const std::regex address(R"((\S.*\S) +Add: ([0-9a-f]{8}))");
    const std::regex decode(R"( +(FAST|MED|SLOW|SUB) decode)");
    const std::regex transfer(R"(Data transfer at (\d+))");
    const std::regex stop(R"(Target abort (w/data|w/o data) after (\d+))");
    std::smatch m;
    for (const std::string& line : text_lines(out)) {
        if (std::regex_match(line, m, address)) {
            list.push_back(
                {m[1], static_cast<uint32_t>(std::stoul(m[2], nullptr, 16)), "", {}, ""});
        } else if (list.empty()) {
            continue;
        } else if (std::regex_match(line, m, decode)) {
            list.back().decode = m[1];
        } else if (std::regex_match(line, m, transfer)) {
            list.back().transfers.push_back(std::stoll(m[1]));
        } else if (std::regex_match(line, m, stop)) {
            list.back().stop = m[1];
            if (m[1] == "w/data")  // the stop's own transfer
                list.back().transfers.push_back(std::stoll(m[2]));
        }
    }
    return list;
}

// RFC 4180: records end with CRLF; a quoted field may hold commas, quotes
// (doubled) and line breaks.
inline std::vector<std::vector<std::string>> parse_csv(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '"' && field.empty()) {
            for (++i; i < text.size(); ++i) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field += '"';
                        ++i;
                    } else {
                        ++i;
                        break;
                    }
                } else {
                    field += text[i];
                }
            }
        }
        if (i >= text.size()) {
            ADD_FAILURE() << "the last record has no CRLF";
            break;
        }
        if (text[i] == ',') {
            row.push_back(field);
            field.clear();
            ++i;
        } else if (text.compare(i, 2, "\r\n") == 0) {
            row.push_back(field);
            field.clear();
            rows.push_back(row);
            row.clear();
            i += 2;
        } else if (text[i] == '"' || text[i] == '\r' || text[i] == '\n') {
            ADD_FAILURE() << "bad CSV at byte " << i;
            break;
        } else {
            field += text[i++];
        }
    }
    return rows;
}
