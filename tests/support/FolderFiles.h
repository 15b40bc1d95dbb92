// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Looking at a notes folder from outside, as a test does.

/// Writes the bytes into the file (its folder must exist); stops the test run when it cannot.
void writeRaw(const QString& path, const QByteArray& bytes);
/// Writes the bytes into the file, replacing it; false when it could not.
bool putFile(const QString& path, const QByteArray& bytes);
/// The file's bytes, or "<missing>".
QByteArray readRaw(const QString& path);
/// Everything in the folder by name, hidden entries included: a left-over temporary file shows up.
QStringList entriesIn(const QString& folder);
/// The files of a folder in the order the notes folder reads them; hidden ones only when asked.
QStringList filesIn(const QString& folder, bool withHidden = false);
/// The texts of those files, decoded as notes.
QStringList textsIn(const QString& folder, bool withHidden = false);
