// Loaded into pcisim with LD_PRELOAD by the output tests: counts the write(2)
// calls on standard output and their bytes, and at exit appends
// "<calls> <bytes>" to the file named by PCISIM_WRITE_COUNT.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {
long calls = 0;  // write(2) calls on descriptor 1
long bytes = 0;  // bytes they wrote

using write_function = ssize_t (*)(int, const void*, size_t);

write_function real_write() {
    static const auto next = reinterpret_cast<write_function>(dlsym(RTLD_NEXT, "write"));
    return next;
}

struct reporter {
    reporter() = default;
    reporter(const reporter&) = delete;
    reporter& operator=(const reporter&) = delete;
    ~reporter() {
        const char* path = std::getenv("PCISIM_WRITE_COUNT");
        if (path == nullptr)
            return;
        const int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd < 0)
            return;
        char line[64];
        const int n = std::snprintf(line, sizeof line, "%ld %ld\n", calls, bytes);
        real_write()(fd, line, static_cast<size_t>(n));
        ::close(fd);
    }
};
const reporter report_at_exit;  // writes the counts when the process ends
}  // namespace

extern "C" ssize_t write(int fd, const void* data, size_t size) {
    const ssize_t written = real_write()(fd, data, size);
    if (fd == 1) {
        ++calls;
        if (written > 0)
            bytes += written;
    }
    return written;
}
