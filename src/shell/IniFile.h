// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// Config.ini with the semantics of the Windows profile functions: section and key names match without
// regard to case, a value is the text after the first "=" without surrounding blanks and without one
// pair of enclosing quotes. Writes change only the lines of the keys written; every other line stays
// byte for byte. Lines are read as UTF-8 when they are valid UTF-8, else as GBK.

/// Value of the key of the section (at most 254 characters); defaultText when the file, the section or
/// the key is missing, an empty text when the key is present with nothing after "=".
QString ReadIniValue(const QString& filePath, const QString& section, const QString& key,
                     const QString& defaultText);

/// ReadIniValue for several keys of one section (key, default text) with one read of the file; the
/// values in the order of the keys.
QStringList ReadIniValues(const QString& filePath, const QString& section,
                          const QList<QPair<QString, QString>>& keysAndDefaults);

/// Sets key=value in the section, creating the key, the section or the file as needed. Writes nothing
/// when the key's line already reads key=value. False when the file could not be written, is too big
/// to be rewritten safely, or the arguments cannot be stored (empty names, line breaks).
bool WriteIniValue(const QString& filePath, const QString& section, const QString& key, const QString& value);

/// WriteIniValue for several keys of one section with one read and at most one write.
bool WriteIniValues(const QString& filePath, const QString& section,
                    const QList<QPair<QString, QString>>& pairs);

/// Only this much of the file is looked at for a lookup, and a bigger file is never rewritten.
constexpr qint64 kMaxIniBytes = 1024 * 1024;
