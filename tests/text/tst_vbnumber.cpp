// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/VbNumber.h"

#include <QtTest>

#include <cmath>

class TestVbNumber : public QObject
{
    Q_OBJECT
private slots:
    void val_data();
    void val();
    void valBeyondRange();
    void formatSingle_data();
    void formatSingle();
};

// clang-format off
void TestVbNumber::val_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("plain") << "810" << 810.0;
    QTest::newRow("blanks anywhere") << " 2 45 7" << 2457.0;
    QTest::newRow("carriage return stops") << "1\r2" << 1.0;
    QTest::newRow("negative") << "-120" << -120.0;
    QTest::newRow("plus sign") << "+5" << 5.0;
    QTest::newRow("two signs") << "--3" << 0.0;
    QTest::newRow("fraction") << "793.5" << 793.5;
    QTest::newRow("leading point") << ".25" << 0.25;
    QTest::newRow("second point stops") << "1.2.3" << 1.2;
    QTest::newRow("comma stops") << "1,200" << 1.0;
    QTest::newRow("unit after number") << "25元" << 25.0;
    QTest::newRow("blank then number then unit") << " 3.5 kg" << 3.5;
    QTest::newRow("letters") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("sign only") << "-" << 0.0;
    QTest::newRow("exponent E") << "1.5E3" << 1500.0;
    QTest::newRow("exponent e negative") << "25e-2" << 0.25;
    QTest::newRow("exponent D") << "2D2" << 200.0;
    QTest::newRow("bare exponent") << "1e" << 1.0;
    QTest::newRow("exponent sign without digits") << "7e-x" << 7.0;
    QTest::newRow("full-width digits are not digits") << "５" << 0.0;
    QTest::newRow("hex 16-bit negative") << "&HFFFF" << -1.0;
    QTest::newRow("hex 16-bit minimum") << "&H8000" << -32768.0;
    QTest::newRow("hex lower case") << "&hff" << 255.0;
    QTest::newRow("hex five digits is 32-bit") << "&H10000" << 65536.0;
    QTest::newRow("hex 32-bit negative") << "&HFFFFFFFF" << -1.0;
    QTest::newRow("hex trailing ampersand") << "&HFFFF&" << 65535.0;
    QTest::newRow("hex stops at misfit") << "&H1G" << 1.0;
    QTest::newRow("hex with blanks") << "& H 1 0" << 16.0;
    QTest::newRow("hex without digits") << "&H" << 0.0;
    QTest::newRow("octal") << "&O17" << 15.0;
    QTest::newRow("octal 16-bit negative") << "&o177777" << -1.0;
    QTest::newRow("ampersand alone") << "&5" << 0.0;
    QTest::newRow("long mantissa") << "123456789012345678901234567890" << 1.2345678901234568e29;
}
// clang-format on

void TestVbNumber::val()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(Val(text), expected);
}

void TestVbNumber::valBeyondRange()
{
    QCOMPARE(Val(QStringLiteral("1e400")), std::numeric_limits<double>::infinity());
    QCOMPARE(Val(QStringLiteral("-9e99999999999999999999")), -std::numeric_limits<double>::infinity());
    QCOMPARE(Val(QStringLiteral("1e-400")), 0.0);
    QCOMPARE(Val(QStringLiteral("0.0000001e-400")), 0.0);
    QCOMPARE(Val(QStringLiteral("0e999999")), 0.0);
    QVERIFY(!std::signbit(Val(QStringLiteral("-0"))));
    QCOMPARE(Val(QStringLiteral("1e300")), 1e300);
}

// clang-format off
void TestVbNumber::formatSingle_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("whole") << 810.0 << "810";
    QTest::newRow("half") << 793.5 << "793.5";
    QTest::newRow("negative") << -120.0 << "-120";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative zero") << -0.0 << "0";
    QTest::newRow("seven digits kept") << 793.5333333 << "793.5333";
    QTest::newRow("single precision, not double") << 0.1 << "0.1";
    QTest::newRow("rounding carries") << 9999999.7 << "10000000";
    QTest::newRow("large without exponent") << 1.5e10 << "15000000000";
    QTest::newRow("small without exponent") << 1.25e-6 << "0.00000125";
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << "0";
    QTest::newRow("beyond single range") << 1e300 << "0";
}
// clang-format on

void TestVbNumber::formatSingle()
{
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(::formatSingle(value), expected);
}

QTEST_GUILESS_MAIN(TestVbNumber)
#include "tst_vbnumber.moc"
