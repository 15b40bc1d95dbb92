// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QSet>
#include <QString>

/// China's statutory working days: Monday to Friday, except the public holidays, plus the weekend
/// days the State Council's yearly notice makes working days. The dates are data, read from a small
/// text file shipped with the application (data/workdays-cn.txt), one section per year:
///
///     year 2026 <the notice's name and number>
///     holiday 2026-01-01 2026-01-03
///     workday 2026-01-04
///
/// A date past the last year the file covers is a working day exactly from Monday to Friday.
class WorkdayCalendar
{
public:
    static QString fileName() { return QStringLiteral("workdays-cn.txt"); }
    /// The file is a few kilobytes a decade; anything this large is not one.
    static constexpr qint64 MaxFileBytes = 64 * 1024;
    /// A holiday lasts days, never months: a longer range is a typing mistake.
    static constexpr int LongestRange = 31;

    struct Year
    {
        int year = 0;
        /// The notice the year's dates come from.
        QString notice;
    };

    /// What reading the files gave.
    struct Loaded;

    WorkdayCalendar() = default;

    /// The calendar in a file's text, or why there is none: all or nothing, so a file with a
    /// mistake never half applies. problem names the line.
    static bool parse(const QByteArray& bytes, WorkdayCalendar& out, QString& problem);
    /// Reads the user's file (userPath, "" for none) when it is there and good, else the shipped one
    /// (shippedPath). problem says why a file that is there was not used; "" when all was well.
    static WorkdayCalendar load(const QString& userPath, const QString& shippedPath, QString& problem);

    bool isWorkday(const QDate& date) const;
    /// The last year the calendar covers; 0 when it covers none.
    int lastYear() const { return m_years.isEmpty() ? 0 : m_years.constLast().year; }
    const QList<Year>& years() const { return m_years; }
    /// The file the dates were read from; "" when none could be.
    QString source() const { return m_source; }
    /// One line for the settings and for a task's tool tip: the years covered and what happens after.
    QString summary() const;

private:
    QList<Year> m_years;
    QSet<QDate> m_holidays;
    QSet<QDate> m_workdays;
    QString m_source;
};
