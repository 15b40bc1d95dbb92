// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace ThreadPriority {

/// Lets the calling thread give way to the others of the process, and to other programs, when the
/// processor is busy: for background work that no one waits for while it runs. It still runs at
/// once on an idle processor. Does nothing where the system does not allow it.
void yieldToOthers();

} // namespace ThreadPriority
