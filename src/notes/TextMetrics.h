// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

// Display length of a text as the note list measures it: one unit per character, two for the
// capital letter W and for every character that takes two bytes in the ANSI code page (GBK).

/// Display length of the text (a whole number, kept as a floating-point value like the original).
double GetTextLength(const QString& text);

/// Longest beginning of the text whose display length does not exceed Length; reports and returns ""
/// when Length < 1.
QString SetTextLengthFromLeft(const QString& text, int Length);

/// The title shown for a note: the whole text up to display length 32, else its first 30 units + "...".
QString NoteTitle(const QString& text);

/// Receives the message SetTextLengthFromLeft shows for a bad Length (the window puts up the box).
void setBadLengthReporter(std::function<void(const QString&)> reporter);

/// The text without the spaces (U+0020 only, not other blanks) at its start and end.
QString trimSpaces(const QString& text);
