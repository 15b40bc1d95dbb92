#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Looking at a notes folder from outside, as a test does.

/// Writes the bytes into the file (its folder must exist); stops the test run when it cannot.
void writeRaw(const QString& path, const QByteArray& bytes);
/// The file's bytes, or "<missing>".
QByteArray readRaw(const QString& path);
/// The files of a folder in the order the notes folder reads them; hidden ones only when asked.
QStringList filesIn(const QString& folder, bool withHidden = false);
/// The texts of those files, decoded as notes.
QStringList textsIn(const QString& folder, bool withHidden = false);
