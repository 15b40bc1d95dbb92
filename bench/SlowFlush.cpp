// SPDX-License-Identifier: GPL-3.0-or-later
// A disk whose flushes are slow, for a program started with LD_PRELOAD pointing here (or linked
// against this library): every fsync, fdatasync and syncfs first waits, then flushes as asked.
//
//   VEMRA_SLOW_FLUSH_MS=N      each flush waits N milliseconds first
//   VEMRA_FLUSH_GATE=path      each flush also waits while path exists (at most 20 seconds), so a test
//                              holds the flushes and lets them go when it chooses
//
// What a flush finally does is the system's own: the files end up as they would without the delay.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <dlfcn.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

std::atomic<int> g_waiting{0};
std::atomic<int> g_done{0};

template <typename Call> Call next(const char* name)
{
    return reinterpret_cast<Call>(::dlsym(RTLD_NEXT, name));
}

void delay()
{
    const int saved = errno;
    if (const char* ms = std::getenv("VEMRA_SLOW_FLUSH_MS"))
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(ms)));
    if (const char* gate = std::getenv("VEMRA_FLUSH_GATE")) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        struct stat st;
        while (::stat(gate, &st) == 0 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    errno = saved;
}

template <typename Call> int slowly(const char* name, int fd)
{
    static const Call call = next<Call>(name);
    ++g_waiting;
    delay();
    const int result = call ? call(fd) : (errno = ENOSYS, -1);
    const int saved = errno;
    --g_waiting;
    ++g_done;
    errno = saved;
    return result;
}

} // namespace

extern "C" {

int fsync(int fd)
{
    return slowly<int (*)(int)>("fsync", fd);
}

int fdatasync(int fd)
{
    return slowly<int (*)(int)>("fdatasync", fd);
}

int syncfs(int fd)
{
    return slowly<int (*)(int)>("syncfs", fd);
}

/// Flushes waiting right now, for a test linked against this library.
int vemraFlushesWaiting()
{
    return g_waiting.load();
}

/// Flushes that have returned.
int vemraFlushesDone()
{
    return g_done.load();
}
}
