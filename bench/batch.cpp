#include "bench/batch.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "bench/batch_line.h"
#include "bench/long_options.h"
#include "bench/simulation.h"
#include "bench/stdout_buffer.h"
#include "bench/tail_buffer.h"

namespace {
constexpr int exit_failed = 1;              // status of a batch that could not run
constexpr size_t stdout_tail_bytes = 4096;  // standard output kept of a failed run

// One run of the batch: its line number and its words.
struct batch_run {
    int line;                        // 1-based line in the batch file
    std::vector<std::string> words;  // its argument list, without the program name
};

// Every long option of a command line, read to its end whatever fails (the
// run itself reports errors in order).
extension_settings scan_long_options(int argc, char** argv) {
    extension_settings found;
    for (int i = 1; i < argc; ++i) {
        const long_option_result taken = parse_long_option(argc, argv, i, found);
        if (taken.what == long_option_result::kind::taken)
            i += taken.consumed - 1;
    }
    return found;
}

// The name of a long option word ("--name" or "--name=value"), or empty.
std::string long_name(const char* arg) {
    if (std::strncmp(arg, "--", 2) != 0)
        return {};
    const char* end = std::strchr(arg, '=');
    return end != nullptr ? std::string(arg + 2, end) : std::string(arg + 2);
}

// Reads the batch file into runs; an error text (FILE:LINE:COL for a bad
// line) or empty.
std::string read_batch(const std::string& path, std::vector<batch_run>& runs) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "option --batch: cannot read " + path + ": " + std::strerror(errno);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (batch_line_is_empty(line))
            continue;
        batch_run run{number, {}};
        if (const auto error = split_batch_line(line, run.words)) {
            return path + ":" + std::to_string(number) + ":" + std::to_string(error->column) +
                   ": " + error->what;
        }
        runs.push_back(std::move(run));
    }
    if (in.bad())
        return "option --batch: cannot read " + path + ": " + std::strerror(errno);
    return {};
}

// The outcome of one run.
struct run_outcome {
    int status = 0;           // its exit status
    std::string stderr_text;  // what it wrote on standard error
    bool tail_kept = false;   // its standard output went nowhere: stdout_tail holds its end
    std::string stdout_tail;  // the last bytes of that output
};

// Runs one line as the program named program would run it alone.
// Runs one line as the program named program would run it alone: its
// --stdout options are taken out of the argument list first, so that the run
// is that of `program ARGS > FILE`.
run_outcome run_line(const char* program, const batch_run& run) {
    std::vector<std::string> words = run.words;
    std::vector<char*> argv{const_cast<char*>(program)};
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const extension_settings found =
        scan_long_options(static_cast<int>(argv.size()) - 1, argv.data());
    if (!found.stdout_file.empty()) {
        std::vector<char*> kept{argv[0]};
        for (size_t i = 1; argv[i] != nullptr; ++i) {
            if (std::strcmp(argv[i], "--stdout") == 0 && argv[i + 1] != nullptr)
                ++i;
            else if (long_name(argv[i]) != "stdout")
                kept.push_back(argv[i]);
        }
        kept.push_back(nullptr);
        argv = std::move(kept);
    }
    const int argc = static_cast<int>(argv.size()) - 1;
    run_outcome outcome;
    std::ostringstream err;
    if (!found.batch_file.empty() || !found.batch_status.empty()) {
        err << "pcisim: option --batch: not in a line of a batch file" << std::endl;
        outcome.status = exit_failed;
    } else if (found.stdout_file.empty()) {
        PCI_tail_buffer buffer(stdout_tail_bytes);
        std::ostream out(&buffer);
        outcome.status =
            run_simulation(find_design_options(argc, argv.data()), argc, argv.data(), out, err);
        outcome.tail_kept = true;
        outcome.stdout_tail = buffer.tail();
    } else {
        const int fd =
            ::open(found.stdout_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) {
            err << "pcisim: option --stdout: cannot write " << found.stdout_file << ": "
                << std::strerror(errno) << std::endl;
            outcome.status = exit_failed;
        } else {
            PCI_stdout_buffer buffer(fd);
            std::ostream out(&buffer);
            outcome.status =
                run_simulation(find_design_options(argc, argv.data()), argc, argv.data(), out, err);
            if (!buffer.finish()) {
                err << "pcisim: cannot write standard output: " << std::strerror(buffer.error())
                    << std::endl;
                outcome.status = exit_failed;
            }
            ::close(fd);
        }
    }
    outcome.stderr_text = err.str();
    return outcome;
}

// The status record of one finished run, one line of JSON.
std::string status_record(const batch_run& run, const run_outcome& outcome, double seconds) {
    nlohmann::ordered_json record;
    record["line"] = run.line;
    record["status"] = outcome.status;
    record["seconds"] = std::round(seconds * 1e6) / 1e6;
    record["stderr"] = outcome.stderr_text;
    if (outcome.status != 0 && outcome.tail_kept)
        record["stdout_tail"] = outcome.stdout_tail;
    return record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + '\n';
}

// Checks the batch's own command line: --batch FILE and --batch-status
// STATUS, nothing else. Returns an error text or empty.
std::string read_batch_options(int argc, char** argv, extension_settings& settings) {
    const extension_settings found = scan_long_options(argc, argv);
    if (!found.stdout_file.empty())
        return "option --stdout: only in a line of a batch file (--batch FILE)";
    if (found.batch_file.empty())
        return "option --batch-status: goes with --batch FILE";
    for (int i = 1; i < argc; ++i) {
        const std::string name = long_name(argv[i]);
        if (name != "batch" && name != "batch-status") {
            return "option --batch: '" + std::string(argv[i]) +
                   "' belongs in a line of the batch file (the batch takes only --batch and "
                   "--batch-status)";
        }
        const long_option_result taken = parse_long_option(argc, argv, i, settings);
        if (taken.what == long_option_result::kind::error)
            return taken.error;
        i += taken.consumed - 1;
    }
    return {};
}
}  // namespace

int run_batch_command(int argc, char** argv, std::ostream& err) {
    extension_settings settings;
    std::vector<batch_run> runs;
    std::string error = read_batch_options(argc, argv, settings);
    if (error.empty())
        error = read_batch(settings.batch_file, runs);
    if (!error.empty()) {
        err << "pcisim: " << error << std::endl;
        return exit_failed;
    }
    std::FILE* status = nullptr;
    if (!settings.batch_status.empty()) {
        status = std::fopen(settings.batch_status.c_str(), "we");
        if (status == nullptr) {
            err << "pcisim: option --batch-status: cannot write " << settings.batch_status << ": "
                << std::strerror(errno) << std::endl;
            return exit_failed;
        }
    }
    for (const batch_run& run : runs) {
        const auto started = std::chrono::steady_clock::now();
        const run_outcome outcome = run_line(argv[0], run);
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - started;
        if (status == nullptr) {
            err << outcome.stderr_text << std::flush;
            continue;
        }
        const std::string record = status_record(run, outcome, seconds.count());
        if (std::fwrite(record.data(), 1, record.size(), status) != record.size() ||
            std::fflush(status) != 0) {
            err << "pcisim: option --batch-status: cannot write " << settings.batch_status << ": "
                << std::strerror(errno) << std::endl;
            std::fclose(status);
            return exit_failed;
        }
    }
    if (status != nullptr && std::fclose(status) != 0) {
        err << "pcisim: option --batch-status: cannot write " << settings.batch_status << ": "
            << std::strerror(errno) << std::endl;
        return exit_failed;
    }
    return 0;
}
