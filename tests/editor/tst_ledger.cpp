// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/Ledger.h"

#include <QtTest>

namespace {
QString crlf(const QStringList& lines)
{
    return lines.join(QStringLiteral("\r\n"));
}
} // namespace

class TestLedger : public QObject
{
    Q_OBJECT
private slots:
    void isLedger_data();
    void isLedger();
    void setUpText();
    void summary_data();
    void summary();
    void rebuildKeepsEntriesAndTrimsHeader();
    void shortTexts_data();
    void shortTexts();
    void recalculationIsIdempotent_data();
    void recalculationIsIdempotent();
    void formatTotal_data();
    void formatTotal();
    void overflowKeepsLineWellFormed();
};

// clang-format off
void TestLedger::isLedger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");
    QTest::newRow("header only") << "%记账" << true;
    QTest::newRow("header and more") << "%记账本\r\nx" << true;
    QTest::newRow("missing percent") << "记账" << false;
    QTest::newRow("blank before") << " %记账" << false;
    QTest::newRow("empty") << "" << false;
}
// clang-format on

void TestLedger::isLedger()
{
    QFETCH(QString, text);
    QFETCH(bool, expected);
    QCOMPARE(Ledger::isLedger(text), expected);
}

void TestLedger::setUpText()
{
    QCOMPARE(Ledger::setUpText(), QStringLiteral("%记账\r\n收入：0，支出：0\r\n"));
    QVERIFY(Ledger::setUpText().contains(QChar(0xFF1A))); // full-width colon, not ":"
}

// clang-format off
void TestLedger::summary_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("summary");

    QTest::newRow("income and two expenses")
        << QStringList{"工资+5000", "午餐-25.5", "打车-30"} << "收入：5000，支出：55.5";
    QTest::newRow("both signs, reading stops at the minus") << QStringList{"+100-20"} << "收入：100，支出：20";
    QTest::newRow("no number after the sign") << QStringList{"a+b"} << "收入：0，支出：0";
    QTest::newRow("only the text after the last minus")
        << QStringList{"2024-03-05 看电影-45"} << "收入：0，支出：45";
    QTest::newRow("thousands comma stops") << QStringList{"奖金+1,200"} << "收入：1，支出：0";
    QTest::newRow("full-width signs do not count") << QStringList{"工资＋5000", "午餐－25"} << "收入：0，支出：0";
    QTest::newRow("sign inside amount") << QStringList{"退款+-5"} << "收入：-5，支出：5";
    QTest::newRow("more than four decimals") << QStringList{"+2.71828182", "-0.00004"} << "收入：2.7183，支出：0";
    QTest::newRow("large amounts stay exact")
        << QStringList{"+922337203685477", "+0.5807"} << "收入：922337203685477.5807，支出：0";
    QTest::newRow("just above a half")
        << QStringList{"+1.00005", "-2.00015"} << "收入：1.0001，支出：2.0002";
    QTest::newRow("negative fractions")
        << QStringList{"+-0.03125", "+-1.00005"} << "收入：-1.0313，支出：1.0313";
    QTest::newRow("exact ties round to even")
        << QStringList{"+0.03125", "-0.09375"} << "收入：0.0312，支出：0.0938";
    QTest::newRow("rounded before adding")
        << QStringList{"+0.00004", "+0.00004", "+0.00004"} << "收入：0，支出：0";
    QTest::newRow("fractions sum exactly")
        << QStringList{"-0.1", "-0.2", "-0.1", "-0.2", "-0.1", "-0.2"} << "收入：0，支出：0.9";
    QTest::newRow("lone LF stays inside the entry") << QStringList{"+1\n2"} << "收入：12，支出：0";
    QTest::newRow("large amount") << QStringList{"+922337203685477"} << "收入：922337203685477，支出：0";
}
// clang-format on

void TestLedger::summary()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, summary);
    // The second line holds an entry-like text that must never be counted.
    const QString text = crlf(QStringList{"%记账", "+100-100"} + entries);
    const QString rebuilt = Ledger::recalculate(text);
    QCOMPARE(rebuilt, crlf(QStringList{"%记账", summary} + entries));
}

void TestLedger::rebuildKeepsEntriesAndTrimsHeader()
{
    const QString text = crlf({"%记账本子", "旧的汇总", "工资+5000", "", "  备注 ", "午餐-25.5", ""});
    QCOMPARE(Ledger::recalculate(text),
             crlf({"%记账", "收入：5000，支出：25.5", "工资+5000", "", "  备注 ", "午餐-25.5", ""}));
}

// clang-format off
void TestLedger::shortTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << "" << "%记账\r\n收入：0，支出：0";
    QTest::newRow("header only") << "%记账" << "%记账\r\n收入：0，支出：0";
    QTest::newRow("header with line break") << "%记账\r\n" << "%记账\r\n收入：0，支出：0";
    QTest::newRow("summary deleted, entry on line two") << "%记账\r\n+100" << "%记账\r\n收入：0，支出：0";
    QTest::newRow("set-up text") << "%记账\r\n收入：0，支出：0\r\n" << "%记账\r\n收入：0，支出：0\r\n";
}
// clang-format on

void TestLedger::shortTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(Ledger::recalculate(text), expected);
}

// clang-format off
void TestLedger::recalculationIsIdempotent_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("entries") << crlf({"%记账", "", "工资+5000", "午餐-25.5", "打车-30"});
    QTest::newRow("trailing line break") << crlf({"%记账", "x", "工资+5000", ""});
    QTest::newRow("several trailing breaks") << crlf({"%记账", "x", "+1", "", "", ""});
    QTest::newRow("set-up text") << Ledger::setUpText();
    QTest::newRow("overflow") << crlf({"%记账", "", "+1e300", "-5"});
}
// clang-format on

void TestLedger::recalculationIsIdempotent()
{
    QFETCH(QString, text);
    const QString once = Ledger::recalculate(text);
    QCOMPARE(Ledger::recalculate(once), once);
}

// clang-format off
void TestLedger::formatTotal_data()
{
    QTest::addColumn<qint64>("tenThousandths");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << qint64(0) << "0";
    QTest::newRow("whole") << qint64(50000000) << "5000";
    QTest::newRow("one decimal") << qint64(125000) << "12.5";
    QTest::newRow("four decimals") << qint64(1) << "0.0001";
    QTest::newRow("inner zero kept") << qint64(10050) << "1.005";
    QTest::newRow("negative") << qint64(-32000) << "-3.2";
    QTest::newRow("maximum") << std::numeric_limits<qint64>::max() << "922337203685477.5807";
    QTest::newRow("minimum") << std::numeric_limits<qint64>::min() << "-922337203685477.5808";
}
// clang-format on

void TestLedger::formatTotal()
{
    QFETCH(qint64, tenThousandths);
    QFETCH(QString, expected);
    QCOMPARE(Ledger::formatTotal(tenThousandths), expected);
}

void TestLedger::overflowKeepsLineWellFormed()
{
    // Two amounts that each fit but whose sum does not.
    QCOMPARE(Ledger::recalculate(crlf({"%记账", "", "+900000000000000", "+900000000000000", "-1"})),
             crlf({"%记账", "收入：溢出，支出：1", "+900000000000000", "+900000000000000", "-1"}));
    // An amount beyond the range on its own, and one beyond the double range.
    QCOMPARE(Ledger::recalculate(crlf({"%记账", "", "-1e300", "+2"})),
             crlf({"%记账", "收入：2，支出：溢出", "-1e300", "+2"}));
    QCOMPARE(Ledger::recalculate(crlf({"%记账", "", "-1e999", "+1e999"})),
             crlf({"%记账", "收入：溢出，支出：溢出", "-1e999", "+1e999"}));
    // Once overflowed, a later negative amount does not bring the total back.
    QCOMPARE(Ledger::recalculate(crlf({"%记账", "", "+922337203685477", "+1", "+-1"})),
             crlf({"%记账", "收入：溢出，支出：1", "+922337203685477", "+1", "+-1"}));
    // The largest total's double neighbour lies just beyond the range; negative amounts reach
    // the bottom of the range the same way.
    QCOMPARE(Ledger::recalculate(crlf({"%记账", "", "+922337203685477.5807"})),
             crlf({"%记账", "收入：溢出，支出：0", "+922337203685477.5807"}));
    QCOMPARE(Ledger::recalculate(crlf({"%记账", "", "+-922337203685477", "+-1"})),
             crlf({"%记账", "收入：溢出，支出：溢出", "+-922337203685477", "+-1"}));
}

QTEST_GUILESS_MAIN(TestLedger)
#include "tst_ledger.moc"
