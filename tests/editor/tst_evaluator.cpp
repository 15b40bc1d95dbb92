// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/ExpressionEvaluator.h"

#include <QtTest>

/// Every table has an expression and the text it evaluates to; an empty expected text means the
/// evaluation must fail (no result, the editor keeps its text).
class TestEvaluator : public QObject
{
    Q_OBJECT
private slots:
    void precedence_data();
    void precedence() { verifyTable(); }
    void integerWidening_data();
    void integerWidening() { verifyTable(); }
    void integerDivisionAndMod_data();
    void integerDivisionAndMod() { verifyTable(); }
    void numberText_data();
    void numberText() { verifyTable(); }
    void failures_data();
    void failures() { verifyTable(); }
    void selection_data();
    void selection();
    void deepNestingFailsCleanly();
    void nestingWithinBoundWorks();
    void hugeInputs_data();
    void hugeInputs();

private:
    static void addColumns();
    static void verifyTable();
};

void TestEvaluator::addColumns()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QString>("expected");
}

void TestEvaluator::verifyTable()
{
    QFETCH(QString, expression);
    QFETCH(QString, expected);
    const std::optional<QString> result = EvaluateExpression(expression);
    if (expected.isEmpty()) {
        QVERIFY2(!result, qPrintable(QStringLiteral("unexpected result ") + result.value_or(QString())));
    } else {
        QVERIFY2(result, "no result");
        QCOMPARE(*result, expected);
    }
}

// clang-format off
void TestEvaluator::precedence_data()
{
    addColumns();
    QTest::newRow("unary minus before power") << "-3^2" << "9";
    QTest::newRow("power left-associative") << "2^3^2" << "64";
    QTest::newRow("signed exponent") << "2^-1" << "0.5";
    QTest::newRow("power before multiply") << "2*3^2" << "18";
    QTest::newRow("slash before backslash") << "12/3\\2" << "2";
    QTest::newRow("star before backslash") << "7\\2*3" << "1";
    QTest::newRow("backslash before Mod") << "17 Mod 5\\2" << "1";
    QTest::newRow("Mod before plus") << "7 Mod 4+2" << "5";
    QTest::newRow("Mod before minus") << "1-2 Mod 3" << "-1";
    QTest::newRow("multiply before add") << "2+3*4" << "14";
    QTest::newRow("brackets") << "(2+3)*4" << "20";
    QTest::newRow("subtraction left-associative") << "10-4-3" << "3";
    QTest::newRow("division left-associative") << "100/10/5" << "2";
    QTest::newRow("Mod lower case") << "5 mod 3" << "2";
    QTest::newRow("Mod right after a number") << "5Mod 3" << "2";
    QTest::newRow("minus minus") << "2--3" << "5";
    QTest::newRow("signs stack") << "+-+3" << "-3";
    QTest::newRow("double negation") << "- -3" << "3";
    QTest::newRow("blanks and tabs") << " 1 +\t2 " << "3";
    QTest::newRow("power of ten") << "2^10" << "1024";
    QTest::newRow("plain division") << "10/4" << "2.5";
}
// clang-format on

// clang-format off
void TestEvaluator::integerWidening_data()
{
    addColumns();
    QTest::newRow("Integer to Long") << "32767+1" << "32768";
    QTest::newRow("Long to Double by product") << "50000*50000" << "2500000000";
    QTest::newRow("Long to Double by sum") << "2147483647+1" << "2147483648";
    QTest::newRow("Long to Double by difference") << "-2147483647-2" << "-2147483649";
    QTest::newRow("literal beyond Long") << "2147483648" << "2147483648";
    QTest::newRow("negated Long minimum") << "-(-2147483647-1)" << "2147483648";
    QTest::newRow("square just beyond Long") << "46341*46341" << "2147488281";
    QTest::newRow("large exact product") << "99999*99999*99999" << "999970000299999";
    QTest::newRow("product reaching 1E+15") << "100000*100000*100000" << "1E+15";
    QTest::newRow("product beyond 15 digits") << "123456789*1000000000" << "1.23456789E+17";
}
// clang-format on

// clang-format off
void TestEvaluator::integerDivisionAndMod_data()
{
    addColumns();
    QTest::newRow("2.5 rounds to 2") << "2.5\\1" << "2";
    QTest::newRow("3.5 rounds to 4") << "3.5\\1" << "4";
    QTest::newRow("-2.5 rounds to -2") << "-2.5\\1" << "-2";
    QTest::newRow("7.5 rounds to 8 in Mod") << "7.5 Mod 10" << "8";
    QTest::newRow("divisor rounded too") << "10\\2.5" << "5";
    QTest::newRow("truncates toward zero") << "10\\-4" << "-2";
    QTest::newRow("negative dividend truncates") << "-7\\2" << "-3";
    QTest::newRow("remainder has dividend's sign") << "-7 Mod 3" << "-1";
    QTest::newRow("positive dividend negative divisor") << "7 Mod -3" << "1";
    QTest::newRow("Long minimum divided by one") << "(-2147483647-1)\\1" << "-2147483648";
    QTest::newRow("Long minimum Mod -1") << "(-2147483647-1) Mod -1" << "0";
    QTest::newRow("operand beyond Long") << "2147483648\\1" << "";
    QTest::newRow("operand rounding beyond Long") << "2147483647.5\\1" << "";
    QTest::newRow("quotient beyond Long") << "(-2147483647-1)\\-1" << "";
    QTest::newRow("Mod operand beyond Long") << "1e10 Mod 3" << "";
    QTest::newRow("divisor rounding to zero") << "5\\0.4" << "";
    QTest::newRow("Mod by zero") << "1 Mod 0" << "";
    QTest::newRow("integer division by zero") << "1\\0" << "";
}
// clang-format on

// clang-format off
void TestEvaluator::numberText_data()
{
    addColumns();
    QTest::newRow("one third") << "1/3" << "0.333333333333333";
    QTest::newRow("two thirds") << "2/3" << "0.666666666666667";
    QTest::newRow("0.1+0.2") << "0.1+0.2" << "0.3";
    QTest::newRow("1e-5 plain") << "1e-5" << "0.00001";
    QTest::newRow("1E+15 keeps exponent") << "1E+15" << "1E+15";
    QTest::newRow("1E+20 keeps exponent") << "1E+20" << "1E+20";
    QTest::newRow("1E-15 keeps exponent") << "1E-15" << "1E-15";
    QTest::newRow("15 significant digits with exponent") << "123456789012345678" << "1.23456789012346E+17";
    QTest::newRow("just below 1E+15") << "1e15-1" << "999999999999999";
    QTest::newRow("1e14 plain") << "1e14" << "100000000000000";
    QTest::newRow("16 digits rounded") << "1234567890123456" << "1.23456789012346E+15";
    QTest::newRow("short mantissa small exponent plain") << "1.5e-10" << "0.00000000015";
    QTest::newRow("long mantissa small exponent") << "1.2345678901234e-5" << "1.2345678901234E-05";
    QTest::newRow("three-digit exponent") << "1e-100" << "1E-100";
    QTest::newRow("large three-digit exponent") << "-1e100" << "-1E+100";
    QTest::newRow("general form without exponent") << "0.00012345" << "0.00012345";
    QTest::newRow("whole double") << "3.0" << "3";
    QTest::newRow("leading point") << ".5" << "0.5";
    QTest::newRow("negative zero double") << "-0.0" << "0";
    QTest::newRow("negative integer zero") << "-0" << "0";
    QTest::newRow("rounding carries into next digit") << "0.9999999999999999" << "1";
    QTest::newRow("underflowing literal") << "1e-400" << "0";
}
// clang-format on

// clang-format off
void TestEvaluator::failures_data()
{
    addColumns();
    QTest::newRow("empty") << "" << "";
    QTest::newRow("dangling operator") << "1+" << "";
    QTest::newRow("unclosed bracket") << "(1" << "";
    QTest::newRow("two numbers") << "1 2" << "";
    QTest::newRow("undefined name") << "abc" << "";
    QTest::newRow("Mod without left operand") << "Mod 3" << "";
    QTest::newRow("Mod without right operand") << "7 Mod" << "";
    QTest::newRow("Mod glued to a name") << "7 Mod3" << "";
    QTest::newRow("two points") << "1..2" << "";
    QTest::newRow("exponent without digits") << "1e" << "";
    QTest::newRow("comma") << "1,5" << "";
    QTest::newRow("double star") << "2**3" << "";
    QTest::newRow("comparison") << "2 = 2" << "";
    QTest::newRow("full-width digits") << "１+１" << "";
    QTest::newRow("line break") << "1\n+1" << "";
    QTest::newRow("percent is not an operator here") << "7%3" << "";
    QTest::newRow("division by zero") << "1/0" << "";
    QTest::newRow("zero by zero") << "0/0" << "";
    QTest::newRow("double overflow by product") << "1e308*10" << "";
    QTest::newRow("power overflow") << "2^1024" << "";
    QTest::newRow("zero to a negative power") << "0^-1" << "";
    QTest::newRow("negative base fractional exponent") << "(-8)^(1/3)" << "";
    QTest::newRow("literal beyond double") << "1e400" << "";
}
// clang-format on

// clang-format off
void TestEvaluator::selection_data()
{
    QTest::addColumn<QString>("selection");
    QTest::addColumn<QString>("expected");
    QTest::newRow("percent is Mod, spaces stripped") << " 7%3 " << "1";
    QTest::newRow("percent without spaces") << "7%3" << "1";
    QTest::newRow("power with surrounding spaces") << "  2^10  " << "1024";
    QTest::newRow("division") << "10/4" << "2.5";
    QTest::newRow("tabs are blanks to the evaluator") << "\t1+1\t" << "2";
    QTest::newRow("division by zero") << "1/0" << "";
    QTest::newRow("unbalanced bracket") << "(1+2" << "";
}
// clang-format on

void TestEvaluator::selection()
{
    QFETCH(QString, selection);
    QFETCH(QString, expected);
    const std::optional<QString> result = EvaluateSelection(selection);
    if (expected.isEmpty()) {
        QVERIFY(!result);
    } else {
        QVERIFY(result);
        QCOMPARE(*result, expected);
    }
}

void TestEvaluator::deepNestingFailsCleanly()
{
    const int depth = 50000;
    const QString nested = QString(depth, u'(') + u'1' + QString(depth, u')');
    QVERIFY(!EvaluateExpression(nested));
    QVERIFY(!EvaluateExpression(QString(depth, u'(')));
    QVERIFY(!EvaluateExpression(QStringLiteral("-(").repeated(depth) + u'1' + QString(depth, u')')));
}

void TestEvaluator::nestingWithinBoundWorks()
{
    const int depth = 200;
    const QString nested = QStringLiteral("(1+").repeated(depth) + u'1' + QString(depth, u')');
    QCOMPARE(EvaluateExpression(nested), std::optional<QString>(QString::number(depth + 1)));
}

// clang-format off
void TestEvaluator::hugeInputs_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QString>("expected");
    const int size = 100000;
    QTest::newRow("long sum") << QStringLiteral("1+").repeated(size / 2) + u'0' << QString::number(size / 2);
    QTest::newRow("many signs") << QString(size, u'-') + u'7' << "7";
    QTest::newRow("long power chain") << QStringLiteral("2^").repeated(size / 2) + u'2' << "";
    QTest::newRow("long literal") << QString(size, u'9') << "";
    QTest::newRow("long fraction") << QStringLiteral("0.") + QString(size, u'3') << "0.333333333333333";
    QTest::newRow("long garbage") << QString(size, u'#') << "";
    QTest::newRow("long Mod chain") << QStringLiteral("100") + QStringLiteral(" Mod 1000").repeated(size / 9) << "100";
}
// clang-format on

void TestEvaluator::hugeInputs()
{
    verifyTable();
}

QTEST_GUILESS_MAIN(TestEvaluator)
#include "tst_evaluator.moc"
