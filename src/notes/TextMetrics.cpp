// SPDX-License-Identifier: GPL-3.0-or-later
#include "notes/TextMetrics.h"

#include "text/GbkCodec.h"

namespace {

std::function<void(const QString&)>& badLengthReporter()
{
    static std::function<void(const QString&)> reporter;
    return reporter;
}

int unitsOf(QChar c)
{
    return c == u'W' || isDoubleByteAnsi(c) ? 2 : 1;
}

// Stops counting once the length is past the limit: a title only needs to know that much, and a
// note of several megabytes should not be walked to the end for a 30-unit title.
qsizetype cappedLength(const QString& text, qsizetype cap)
{
    qsizetype length = 0;
    for (QChar c : text) {
        length += unitsOf(c);
        if (length > cap)
            break;
    }
    return length;
}

} // namespace

double GetTextLength(const QString& text)
{
    qsizetype length = 0;
    for (QChar c : text)
        length += unitsOf(c);
    return double(length);
}

QString SetTextLengthFromLeft(const QString& text, int Length)
{
    if (Length < 1) {
        if (const auto& report = badLengthReporter())
            report(QStringLiteral("SetTextLengthFromLeft的Length不能小于1！"));
        return QString();
    }
    if (cappedLength(text, Length) < Length)
        return text;
    qsizetype width = 0;
    qsizetype taken = 0;
    for (QChar c : text) {
        const int units = unitsOf(c);
        if (width + units > Length)
            break;
        width += units;
        ++taken;
        if (width == Length)
            break;
    }
    return text.left(taken);
}

QString NoteTitle(const QString& text)
{
    if (cappedLength(text, 32) > 32)
        return SetTextLengthFromLeft(text, 30) + QStringLiteral("...");
    return text;
}

void setBadLengthReporter(std::function<void(const QString&)> reporter)
{
    badLengthReporter() = std::move(reporter);
}

QString trimSpaces(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ')
        ++begin;
    while (end > begin && text.at(end - 1) == u' ')
        --end;
    return text.mid(begin, end - begin);
}
