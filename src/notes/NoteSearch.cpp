// SPDX-License-Identifier: GPL-3.0-or-later
#include "notes/NoteSearch.h"

QList<int> searchNotes(const QStringList& texts, const QString& needle)
{
    QList<int> hits;
    for (int i = 0; i < texts.size(); ++i) {
        if (texts.at(i).contains(needle, Qt::CaseSensitive))
            hits.append(i);
    }
    return hits;
}
