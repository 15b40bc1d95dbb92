// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// The accounting note: a text beginning with "%记账", whose second line is a summary the system
/// writes itself and whose further lines are entries; the amount after the last "+" of an entry is
/// income, the amount after its last "-" expense. Pure text in, text out.
class Ledger
{
public:
    /// True when the text begins with the three characters "%记账".
    static bool isLedger(const QString& text);

    /// The text of a freshly set-up ledger: the header and a zero summary, each ended by CR LF.
    static QString setUpText();

    /// The ledger rebuilt from an editor text: exact header, fresh summary, entries unchanged and
    /// no trailing CR LF. A total beyond the fixed-point range shows as "溢出" instead of a number.
    static QString recalculate(const QString& editorText);

    /// A total in ten-thousandths as the summary shows it: shortest form, "." as the point.
    static QString formatTotal(qint64 tenThousandths);
};
