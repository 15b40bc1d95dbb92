// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/CommonDialog.h"

#include <QFileDialog>

namespace {
QStringList& queuedAnswers()
{
    static QStringList answers;
    return answers;
}
bool& answersQueued()
{
    static bool queued = false;
    return queued;
}
int& asked()
{
    static int count = 0;
    return count;
}
} // namespace

CommonDialog::CommonDialog(const QString& title, const QString& filter) : m_title(title), m_filter(filter) {}

QString CommonDialog::qtFilter() const
{
    QStringList parts = m_filter.split(u'|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(u';', u' ');
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    return filters.join(QStringLiteral(";;"));
}

QString CommonDialog::showOpen(QWidget* parent) const
{
    ++asked();
    if (answersQueued()) {
        if (queuedAnswers().isEmpty())
            return QString();
        return queuedAnswers().takeFirst();
    }
    return QFileDialog::getOpenFileName(parent, m_title, QString(), qtFilter());
}

void CommonDialog::setNextFileName(const QString& fileName)
{
    answersQueued() = true;
    queuedAnswers().append(fileName);
}

void CommonDialog::clearNextFileNames()
{
    queuedAnswers().clear();
    answersQueued() = false;
    asked() = 0;
}

int CommonDialog::askedCount()
{
    return asked();
}
