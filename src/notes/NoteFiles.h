// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Reading and writing single note files. Notes are written as UTF-8 behind the mark EF BB BF. Files
// come from Windows (ANSI, i.e. GBK, or UTF-8 with a mark) and from Linux editors (UTF-8 without a
// mark); a file without a mark is therefore read as UTF-8 when it is valid UTF-8 and as GBK otherwise,
// because reading Linux UTF-8 as GBK and saving it would corrupt the note for good.

/// Byte-order-mark code of the file: -1 cannot be opened, 0 none, 1 UTF-8, 2 UTF-16 LE, 3 UTF-16 BE,
/// 4 UTF-32 LE, 5 UTF-32 BE.
int DetectByteOrderMark(const QString& path);

/// Byte-order-mark code of the first bytes of a file (missing bytes count as 00).
int byteOrderMarkOf(QByteArrayView head);

/// Decodes the bytes of a note file (mark, UTF-8 or GBK, as described above). *canonical is set to
/// whether the bytes are exactly what WriteUtf8File writes for the returned text, *lossy to whether the
/// text cannot give the bytes back (broken sequences became U+FFFD, or GBK that does not encode back
/// to the same bytes): writing such a text would destroy what the file held.
QString decodeNoteBytes(QByteArrayView bytes, bool* canonical = nullptr, bool* lossy = nullptr);

/// The bytes WriteUtf8File writes for a text: EF BB BF and the text in UTF-8, no line break added.
QByteArray encodeNoteBytes(const QString& text);

/// Reads a note file whatever its encoding. *ok is false when the file cannot be read.
QString ReadNoteFile(const QString& path, bool* ok = nullptr);

/// Reads a file that carries a mark, decoded as the mark says (UTF-8 when it has none); the mark is
/// not part of the text. *ok is false when the file is missing or cannot be read.
QString ReadUtf8File(const QString& path, bool* ok = nullptr);

/// Reads a file as GBK. A missing file gives an empty text (and *ok stays true); an unreadable one
/// gives an empty text and *ok false.
QString ReadAnsiFile(const QString& path, bool* ok = nullptr);

/// Replaces the file by the mark EF BB BF and the text in UTF-8, atomically. False when it failed.
bool WriteUtf8File(const QString& path, const QString& text);

/// Largest note file read; anything bigger is left alone rather than pulled into memory.
constexpr qint64 kMaxNoteFileBytes = qint64(256) * 1024 * 1024;
