// Standard output of the real program, counted in write(2) calls by a
// preloaded shim: large blocks on a file and on a pipe, and every flush at
// once on a terminal (a pty), so the -n counter shows while the run goes on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {
// Where standard output goes.
enum class sink { file, pipe, terminal };

struct counted_run {
    int status = -1;  // exit status
    long calls = -1;  // write(2) calls on descriptor 1
    long bytes = -1;  // bytes they wrote
    std::string out;  // what arrived
};

std::string scratch(const std::string& name) {
    return ::testing::TempDir() + "stdout_writes_" + std::to_string(::getpid()) + "_" + name;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Reads fd until end of file (or EIO, a pty's end).
std::string read_all(int fd) {
    std::string text;
    char block[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n > 0)
            text.append(block, static_cast<size_t>(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    return text;
}

[[noreturn]] void exec_program(const std::vector<std::string>& args, const std::string& counts) {
    std::vector<char*> argv;
    std::string program = PCISIM_BINARY;
    argv.push_back(program.data());
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::setenv("LD_PRELOAD", WRITE_COUNTER, 1);
    ::setenv("PCISIM_WRITE_COUNT", counts.c_str(), 1);
    ::setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

counted_run run_counted(const std::vector<std::string>& args, sink where) {
    counted_run r;
    const std::string counts = scratch("counts"), file = scratch("out");
    std::remove(counts.c_str());
    pid_t child = -1;
    int reader = -1;
    if (where == sink::terminal) {
        termios raw{};
        cfmakeraw(&raw);
        child = ::forkpty(&reader, nullptr, &raw, nullptr);
        if (child == 0)
            exec_program(args, counts);
    } else if (where == sink::pipe) {
        int ends[2];
        EXPECT_EQ(::pipe(ends), 0);
        child = ::fork();
        if (child == 0) {
            ::dup2(ends[1], 1);
            ::close(ends[0]);
            ::close(ends[1]);
            exec_program(args, counts);
        }
        ::close(ends[1]);
        reader = ends[0];
    } else {
        child = ::fork();
        if (child == 0) {
            const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(fd, 1);
            ::close(fd);
            exec_program(args, counts);
        }
    }
    EXPECT_GT(child, 0);
    if (reader >= 0) {
        r.out = read_all(reader);
        ::close(reader);
    }
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (where == sink::file)
        r.out = slurp(file);
    std::ifstream(counts) >> r.calls >> r.bytes;
    std::remove(counts.c_str());
    std::remove(file.c_str());
    return r;
}

// Blocks of 64 KiB: a few more calls than full blocks, never one a line.
void expect_blocks(const counted_run& r, const char* what) {
    EXPECT_EQ(r.status, 0) << what;
    EXPECT_EQ(r.bytes, static_cast<long>(r.out.size())) << what;
    EXPECT_GE(r.calls, 1) << what;
    EXPECT_LE(r.calls, r.bytes / 65536 + 2)
        << what << ": " << r.calls << " writes of " << r.bytes << " bytes";
}
}  // namespace

TEST(StdoutWrites, BlocksOnAFileAndAPipe) {
    for (const sink where : {sink::file, sink::pipe}) {
        const char* what = where == sink::file ? "file" : "pipe";
        const counted_run dump = run_counted({"-c", "-n"}, where);
        EXPECT_GT(dump.bytes, 1000000) << what;
        expect_blocks(dump, what);
        expect_blocks(run_counted({"-s", "-dm", "-m1c20", "-m2c20", "-m3c20"}, where), what);
        // A short run: one write at the end.
        const counted_run small = run_counted({"-s", "-m1c2", "-m2c2", "-m3c2"}, where);
        EXPECT_EQ(small.calls, 1) << what;
        EXPECT_NE(small.out.find("Total transfers: "), std::string::npos) << what;
    }
}

TEST(StdoutWrites, CounterIsLiveOnATerminal) {
    const counted_run tty = run_counted({"-n"}, sink::terminal);
    ASSERT_EQ(tty.status, 0);
    EXPECT_EQ(tty.bytes, static_cast<long>(tty.out.size()));
    // The same bytes as on a file (the pty is raw).
    const counted_run file = run_counted({"-n"}, sink::file);
    EXPECT_EQ(tty.out, file.out);
    // Every counter value went out on its own, before the closing line.
    long counters = 0;
    for (size_t at = 0; (at = tty.out.find('\r', at)) != std::string::npos; ++at) ++counters;
    EXPECT_GE(counters, 8);
    EXPECT_EQ(tty.out.rfind("0\r10000\r20000\r", 0), 0u) << tty.out.substr(0, 40);
    EXPECT_GE(tty.calls, counters + 1);
    EXPECT_EQ(file.calls, 1);
}
