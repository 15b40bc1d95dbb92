// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QStringList>

/// Indexes of the notes that contain the needle (exact, case-sensitive), in note order.
QList<int> searchNotes(const QStringList& texts, const QString& needle);
