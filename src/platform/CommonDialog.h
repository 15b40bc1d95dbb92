// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

/// The file-open dialog. Tests queue answers with setNextFileName so no dialog ever shows.
class CommonDialog
{
public:
    /// Title and filter in the form "description|*.a;*.b".
    CommonDialog(const QString& title, const QString& filter);
    /// Shows the dialog modally; an empty result means cancelled.
    QString showOpen(QWidget* parent) const;
    /// Answers of the next dialogs, in order; an empty string answers "cancel".
    static void setNextFileName(const QString& fileName);
    static void clearNextFileNames();
    /// How many dialogs asked since the last clear (for tests).
    static int askedCount();
    /// The filter in Qt's own notation, "description (*.a *.b)".
    QString qtFilter() const;
    QString title() const { return m_title; }

private:
    QString m_title;
    QString m_filter;
};
