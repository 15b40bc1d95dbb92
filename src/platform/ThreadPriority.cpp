// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ThreadPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
// Enough that a key's drawing and the X server win the processor from a save, not so much that a
// busy machine starves the save.
constexpr int kBackgroundNice = 10;
} // namespace

void ThreadPriority::yieldToOthers()
{
    // On Linux a nice value belongs to one thread when given its thread id.
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    const int current = ::getpriority(PRIO_PROCESS, tid);
    if (current < kBackgroundNice)
        (void)::setpriority(PRIO_PROCESS, tid, kBackgroundNice);
}
