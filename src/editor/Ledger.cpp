// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/Ledger.h"

#include "text/VbNumber.h"

#include <QStringList>

#include <cmath>
#include <optional>

namespace {

const QString CrLf = QStringLiteral("\r\n");
const QString Header = QStringLiteral("%记账");
const QString IncomeLabel = QStringLiteral("收入：");
const QString ExpenseLabel = QStringLiteral("，支出：");
const QString OverflowText = QStringLiteral("溢出");

/// A running total in ten-thousandths (four decimals in a 64-bit integer). Once it has left that
/// range it stays overflowed: the summary then says so instead of showing a wrong number.
class Total
{
public:
    void add(double amount)
    {
        if (m_overflowed)
            return;
        const std::optional<qint64> scaled = toTenThousandths(amount);
        if (!scaled || __builtin_add_overflow(m_value, *scaled, &m_value))
            m_overflowed = true;
    }

    QString text() const { return m_overflowed ? OverflowText : Ledger::formatTotal(m_value); }

private:
    /// The amount rounded to four decimals, ties to even, exactly: the whole part is scaled in
    /// integers (a double product would already lose digits of large amounts) and the fraction's
    /// tie is judged with the exact rounding error of its product.
    static std::optional<qint64> toTenThousandths(double amount)
    {
        const double whole = std::trunc(amount);
        if (!(std::fabs(whole) <= 922337203685477.0)) // false for infinity too
            return std::nullopt;
        const double fraction = amount - whole; // exact
        const double product = fraction * 10000.0;
        const double error = std::fma(fraction, 10000.0, -product);
        // The product is correctly rounded and the half-way point is representable, so it lands on
        // the same side of it as the exact value unless it lands right on it; then the error decides.
        const double lower = std::floor(product);
        const double middle = lower + 0.5;
        double rounded = lower;
        if (product > middle || (product == middle && error > 0))
            rounded = lower + 1;
        else if (product == middle && error == 0 && std::fmod(lower, 2.0) != 0)
            rounded = lower + 1; // a true tie goes to the even neighbour
        qint64 result = 0;
        if (__builtin_add_overflow(static_cast<qint64>(whole) * 10000, static_cast<qint64>(rounded), &result))
            return std::nullopt;
        return result;
    }

    qint64 m_value = 0;
    bool m_overflowed = false;
};

} // namespace

bool Ledger::isLedger(const QString& text)
{
    return text.startsWith(Header);
}

QString Ledger::setUpText()
{
    return Header + CrLf + IncomeLabel + u'0' + ExpenseLabel + u'0' + CrLf;
}

QString Ledger::recalculate(const QString& editorText)
{
    // Lines 0 and 1 (header and summary) are rewritten and never read, whatever they hold.
    const QStringList lines = editorText.split(CrLf);
    Total income;
    Total expense;
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const QString& entry = lines[i];
        // Only the text after the last sign counts: "2024-03-05 看电影-45" spends 45.
        const qsizetype plus = entry.lastIndexOf(u'+');
        if (plus >= 0)
            income.add(Val(entry.mid(plus + 1)));
        const qsizetype minus = entry.lastIndexOf(u'-');
        if (minus >= 0)
            expense.add(Val(entry.mid(minus + 1)));
    }

    QString rebuilt;
    rebuilt.reserve(editorText.size() + 32);
    rebuilt += Header + CrLf + IncomeLabel + income.text() + ExpenseLabel + expense.text() + CrLf;
    for (qsizetype i = 2; i < lines.size(); ++i) {
        rebuilt += lines[i];
        rebuilt += CrLf;
    }
    // Dropping the final line break keeps a trailing empty entry from multiplying on every run.
    if (rebuilt.endsWith(CrLf))
        rebuilt.chop(CrLf.size());
    return rebuilt;
}

QString Ledger::formatTotal(qint64 tenThousandths)
{
    const bool negative = tenThousandths < 0;
    const quint64 magnitude = negative ? 0 - quint64(tenThousandths) : quint64(tenThousandths);
    QString text = negative ? QStringLiteral("-") : QString();
    text += QString::number(magnitude / 10000);
    const quint64 fraction = magnitude % 10000;
    if (fraction != 0) {
        QString decimals = QString::number(fraction).rightJustified(4, u'0');
        while (decimals.endsWith(u'0'))
            decimals.chop(1);
        text += u'.' + decimals;
    }
    return text;
}
