#include "support/ProcessProbe.h"

#include <QFile>

#include <csignal>

bool catchesTermination(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    const QByteArray caught = "SigCgt:";
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(caught)) {
            bool ok = false;
            const quint64 mask = line.mid(caught.size()).trimmed().toULongLong(&ok, 16);
            return ok && (mask & (quint64(1) << (SIGTERM - 1)));
        }
    }
    return false;
}
