// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

/// Runs a piece of a test as an ordinary user, so that permission bits apply (CI runs as root, which
/// ignores them). As root the function runs in a forked child that has dropped to the user "nobody";
/// otherwise it runs in a child as the current user. The child's exit status is the function's result.
/// Returns -1 when the child could not be started or did not end normally.
int runUnprivileged(const std::function<int()>& body);

/// The user id the body of runUnprivileged() runs as.
unsigned unprivilegedUid();
unsigned unprivilegedGid();

/// Hands a path (and everything below it) to that user, so the body can write there.
bool giveToUnprivileged(const QString& path);
