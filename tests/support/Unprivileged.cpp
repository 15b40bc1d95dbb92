// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Unprivileged.h"

#include <QDirIterator>
#include <QFile>

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr unsigned kNobody = 65534;
} // namespace

unsigned unprivilegedUid()
{
    if (::geteuid() != 0)
        return ::geteuid();
    const passwd* pw = ::getpwnam("nobody");
    return pw ? pw->pw_uid : kNobody;
}

unsigned unprivilegedGid()
{
    if (::geteuid() != 0)
        return ::getegid();
    const passwd* pw = ::getpwnam("nobody");
    return pw ? pw->pw_gid : kNobody;
}

bool giveToUnprivileged(const QString& path)
{
    if (::geteuid() != 0)
        return true;
    bool ok = ::chown(QFile::encodeName(path).constData(), unprivilegedUid(), unprivilegedGid()) == 0;
    QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QByteArray entry = QFile::encodeName(it.next());
        ok = ::lchown(entry.constData(), unprivilegedUid(), unprivilegedGid()) == 0 && ok;
    }
    return ok;
}

int runUnprivileged(const std::function<int()>& body)
{
    const uid_t uid = unprivilegedUid();
    const gid_t gid = unprivilegedGid();
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (::geteuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 ||
                ::setresuid(uid, uid, uid) != 0)
                ::_exit(125);
        }
        ::_exit(body() & 0xff);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}
