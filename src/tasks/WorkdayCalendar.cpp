// SPDX-License-Identifier: GPL-3.0-or-later
#include "tasks/WorkdayCalendar.h"

#include "platform/DurableFile.h"

#include <QFileInfo>
#include <QStringDecoder>

namespace {

constexpr int FirstYear = 1949;
constexpr int LastYear = 9999;
constexpr qsizetype LongestLine = 1000;

QDate readDate(QStringView text)
{
    if (text.size() != 10)
        return {};
    return QDate::fromString(text.toString(), Qt::ISODate);
}

} // namespace

bool WorkdayCalendar::parse(const QByteArray& bytes, WorkdayCalendar& out, QString& problem)
{
    QStringDecoder decode(QStringDecoder::Utf8);
    const QString text = decode(bytes);
    if (decode.hasError()) {
        problem = QStringLiteral("not UTF-8 text");
        return false;
    }
    WorkdayCalendar calendar;
    const QStringList lines = text.split(u'\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const auto fail = [&](const QString& why) {
            problem = QStringLiteral("line %1: %2").arg(n + 1).arg(why);
            return false;
        };
        const QString line = lines.at(n).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.size() > LongestLine)
            return fail(QStringLiteral("longer than %1 characters").arg(LongestLine));
        const QStringList words = line.split(u' ', Qt::SkipEmptyParts);
        const QString& keyword = words.first();
        if (keyword == QLatin1String("year")) {
            bool ok = false;
            const int year = words.value(1).toInt(&ok);
            if (!ok || year < FirstYear || year > LastYear)
                return fail(QStringLiteral("a year from %1 to %2 is missing").arg(FirstYear).arg(LastYear));
            // In order, each once: the last section is the last year covered.
            if (!calendar.m_years.isEmpty() && year <= calendar.lastYear())
                return fail(QStringLiteral("year %1 does not follow %2").arg(year).arg(calendar.lastYear()));
            calendar.m_years.append({year, words.mid(2).join(u' ')});
            continue;
        }
        const bool holiday = keyword == QLatin1String("holiday");
        if (!holiday && keyword != QLatin1String("workday"))
            return fail(QStringLiteral("\"%1\" is not year, holiday or workday").arg(keyword.left(20)));
        if (calendar.m_years.isEmpty())
            return fail(QStringLiteral("a date before the first year line"));
        if (words.size() != 2 && !(holiday && words.size() == 3))
            return fail(QStringLiteral("one date expected (two for a holiday range)"));
        const QDate from = readDate(words.at(1));
        const QDate to = words.size() == 3 ? readDate(words.at(2)) : from;
        if (!from.isValid() || !to.isValid())
            return fail(QStringLiteral("a date is not YYYY-MM-DD"));
        // A notice speaks of its own year, and of the turn of the year at most.
        const int year = calendar.lastYear();
        if (from > to || from.daysTo(to) >= LongestRange || from.year() < year - 1 || to.year() > year + 1)
            return fail(QStringLiteral("the dates are out of order, too far apart or not near %1").arg(year));
        for (QDate d = from; d <= to; d = d.addDays(1)) {
            if ((holiday ? calendar.m_workdays : calendar.m_holidays).contains(d))
                return fail(
                    QStringLiteral("%1 is both a holiday and a working day").arg(d.toString(Qt::ISODate)));
            (holiday ? calendar.m_holidays : calendar.m_workdays).insert(d);
        }
    }
    out = std::move(calendar);
    return true;
}

WorkdayCalendar WorkdayCalendar::load(const QString& userPath, const QString& shippedPath, QString& problem)
{
    problem.clear();
    WorkdayCalendar calendar;
    for (const QString& path : {userPath, shippedPath}) {
        if (path.isEmpty())
            continue;
        const DurableFile::ReadResult read = DurableFile::read(path, MaxFileBytes);
        if (read.status() == DurableFile::ReadResult::Status::Missing)
            continue;
        QString why;
        if (read.status() == DurableFile::ReadResult::Status::TooLarge)
            why = QStringLiteral("larger than %1 bytes").arg(MaxFileBytes);
        else if (read.status() != DurableFile::ReadResult::Status::Ok)
            why = read.describe();
        else if (parse(read.bytes(), calendar, why)) {
            calendar.m_source = path;
            return calendar;
        }
        // The user's file failing says so, and the shipped dates serve meanwhile.
        if (problem.isEmpty())
            problem = QStringLiteral("%1: %2").arg(path, why);
    }
    return calendar;
}

bool WorkdayCalendar::isWorkday(const QDate& date) const
{
    if (m_workdays.contains(date))
        return true;
    if (m_holidays.contains(date))
        return false;
    return date.dayOfWeek() <= 5;
}

QString WorkdayCalendar::summary() const
{
    if (m_years.isEmpty())
        return QStringLiteral("法定工作日：没有可用的节假日日历，按周一至周五提醒。");
    const int first = m_years.constFirst().year;
    const QString span = first == lastYear() ? QStringLiteral("%1 年").arg(first)
                                             : QStringLiteral("%1—%2 年").arg(first).arg(lastYear());
    return QStringLiteral("法定工作日：节假日日历含 %1；%2 年起按周一至周五提醒。")
        .arg(span)
        .arg(lastYear() + 1);
}
