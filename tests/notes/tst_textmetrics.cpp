// SPDX-License-Identifier: GPL-3.0-or-later
#include "notes/NoteSearch.h"
#include "notes/TextMetrics.h"
#include "text/GbkCodec.h"

#include <QtTest>

class TestTextMetrics : public QObject
{
    Q_OBJECT
private slots:
    void doubleByteTable_data();
    void doubleByteTable();
    void gbkDecoding_data();
    void gbkDecoding();
    void gbkEncodingRoundTripsAndMarksTheUnencodable();
    void textLength_data();
    void textLength();
    void lengthFromLeft_data();
    void lengthFromLeft();
    void badLengthIsReportedWithTheExactMessage();
    void noteTitle_data();
    void noteTitle();
    void searchIsExactAndCaseSensitive();
};

void TestTextMetrics::doubleByteTable_data()
{
    QTest::addColumn<QChar>("c");
    QTest::addColumn<bool>("doubleByte");
    QTest::newRow("chinese") << QChar(u'中') << true;
    QTest::newRow("full-width w") << QChar(u'ｗ') << true;
    QTest::newRow("ideographic space") << QChar(u'\u3000') << true;
    QTest::newRow("middle dot") << QChar(u'·') << true;
    QTest::newRow("pinyin e acute") << QChar(u'é') << true;
    QTest::newRow("cyrillic") << QChar(u'Д') << true;
    QTest::newRow("greek") << QChar(u'α') << true;
    QTest::newRow("ascii") << QChar(u'A') << false;
    QTest::newRow("capital W itself") << QChar(u'W') << false;
    QTest::newRow("euro is the single byte 80") << QChar(u'€') << false;
    QTest::newRow("thai has no code") << QChar(u'ก') << false;
    QTest::newRow("hangul has no code") << QChar(u'한') << false;
    QTest::newRow("lone surrogate") << QChar(0xD83D) << false;
    QTest::newRow("nul") << QChar(0) << false;
}

void TestTextMetrics::doubleByteTable()
{
    QFETCH(QChar, c);
    QFETCH(bool, doubleByte);
    QCOMPARE(isDoubleByteAnsi(c), doubleByte);
}

void TestTextMetrics::gbkDecoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("chinese") << QByteArray("\xD6\xD0\xCE\xC4") << QStringLiteral("中文");
    QTest::newRow("mixed") << QByteArray("a\xD6\xD0\x62\r\n") << QStringLiteral("a中b\r\n");
    QTest::newRow("euro") << QByteArray("\x80") << QStringLiteral("€");
    QTest::newRow("broken lead keeps the ascii after it")
        << QByteArray("\x81 x") << QStringLiteral("\uFFFD x");
    QTest::newRow("lead at the end") << QByteArray("ab\xD6") << QStringLiteral("ab\uFFFD");
    QTest::newRow("ff") << QByteArray("\xFF\xFF") << QStringLiteral("\uFFFD\uFFFD");
    QTest::newRow("nul survives") << QByteArray("a\0b", 3) << QString(QStringLiteral("a") + QChar(0) + u'b');
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestTextMetrics::gbkDecoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(decodeGbk(bytes), text);
}

void TestTextMetrics::gbkEncodingRoundTripsAndMarksTheUnencodable()
{
    const QString text = QStringLiteral("便笺 Notes，１２３€");
    QCOMPARE(decodeGbk(encodeGbk(text)), text);
    QCOMPARE(encodeGbk(QStringLiteral("中")), QByteArray("\xD6\xD0"));
    QCOMPARE(gbkCode(QChar(u'中')), quint16(0xD6D0));
    QCOMPARE(encodeGbk(QStringLiteral("aกb")), QByteArray("a?b"));
    // One character outside the BMP is one question mark, not two.
    QCOMPARE(encodeGbk(QStringLiteral("x\U0001F600y")), QByteArray("x?y"));
}

void TestTextMetrics::textLength_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("length");
    QTest::newRow("empty") << QString() << 0.0;
    QTest::newRow("Hello") << QStringLiteral("Hello") << 5.0;
    QTest::newRow("capital W counts 2") << QStringLiteral("W") << 2.0;
    QTest::newRow("small w counts 1") << QStringLiteral("w") << 1.0;
    QTest::newRow("chinese") << QStringLiteral("中文") << 4.0;
    QTest::newRow("full-width letters") << QStringLiteral("ＡＢ") << 4.0;
    QTest::newRow("line breaks count one each") << QStringLiteral("a\r\nb") << 4.0;
    QTest::newRow("no code counts 1") << QStringLiteral("กข") << 2.0;
    QTest::newRow("mixed") << QStringLiteral("W中w") << 5.0;
}

void TestTextMetrics::textLength()
{
    QFETCH(QString, text);
    QFETCH(double, length);
    QCOMPARE(GetTextLength(text), length);
}

void TestTextMetrics::lengthFromLeft_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("expected");
    const QString letters29(29, u'a');
    QTest::newRow("29 letters and a chinese char, 30") << letters29 + u'中' << 30 << letters29;
    QTest::newRow("shorter stays") << QStringLiteral("abc") << 30 << QStringLiteral("abc");
    QTest::newRow("exactly the length") << QStringLiteral("abc") << 3 << QStringLiteral("abc");
    QTest::newRow("cut after letters") << QStringLiteral("abcdef") << 4 << QStringLiteral("abcd");
    QTest::newRow("double at the edge is left out")
        << QStringLiteral("中中中") << 5 << QStringLiteral("中中");
    QTest::newRow("double fits exactly") << QStringLiteral("中中中") << 4 << QStringLiteral("中中");
    QTest::newRow("W is double") << QStringLiteral("WWW") << 5 << QStringLiteral("WW");
    QTest::newRow("length 1 and a double") << QStringLiteral("中a") << 1 << QString();
}

void TestTextMetrics::lengthFromLeft()
{
    QFETCH(QString, text);
    QFETCH(int, length);
    QFETCH(QString, expected);
    QCOMPARE(SetTextLengthFromLeft(text, length), expected);
}

void TestTextMetrics::badLengthIsReportedWithTheExactMessage()
{
    QStringList messages;
    setBadLengthReporter([&](const QString& message) { messages.append(message); });
    QCOMPARE(SetTextLengthFromLeft(QStringLiteral("abc"), 0), QString());
    QCOMPARE(SetTextLengthFromLeft(QStringLiteral("abc"), -5), QString());
    QCOMPARE(SetTextLengthFromLeft(QStringLiteral("abc"), 1), QStringLiteral("a"));
    setBadLengthReporter(nullptr);
    QCOMPARE(SetTextLengthFromLeft(QStringLiteral("abc"), 0), QString());
    QCOMPARE(messages, QStringList(2, QStringLiteral("SetTextLengthFromLeft的Length不能小于1！")));
}

void TestTextMetrics::noteTitle_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");
    const QString dots = QStringLiteral("...");
    QTest::newRow("Hello") << QStringLiteral("Hello") << QStringLiteral("Hello");
    QTest::newRow("32 letters") << QString(32, u'a') << QString(32, u'a');
    QTest::newRow("33 letters") << QString(33, u'a') << QString(30, u'a') + dots;
    QTest::newRow("20 chinese") << QString(20, u'中') << QString(15, u'中') + dots;
    QTest::newRow("16 chinese is 32") << QString(16, u'中') << QString(16, u'中');
    QTest::newRow("17 W") << QString(17, u'W') << QString(15, u'W') + dots;
    QTest::newRow("16 W is 32") << QString(16, u'W') << QString(16, u'W');
    QTest::newRow("29 letters then chinese chars")
        << QString(29, u'a') + QStringLiteral("中中") << QString(29, u'a') + dots;
    QTest::newRow("line breaks kept") << QStringLiteral("a\r\nb") << QStringLiteral("a\r\nb");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("long note") << QString(1000000, u'x') << QString(30, u'x') + dots;
}

void TestTextMetrics::noteTitle()
{
    QFETCH(QString, text);
    QFETCH(QString, title);
    QCOMPARE(NoteTitle(text), title);
}

void TestTextMetrics::searchIsExactAndCaseSensitive()
{
    const QStringList notes{QStringLiteral("xaby"), QStringLiteral("AB"), QStringLiteral("b"),
                            QStringLiteral("中文ab")};
    QCOMPARE(searchNotes(notes, QStringLiteral("ab")), (QList<int>{0, 3}));
    QCOMPARE(searchNotes(notes, QStringLiteral("b")), (QList<int>{0, 2, 3}));
    QCOMPARE(searchNotes(notes, QStringLiteral("AB")), QList<int>{1});
    QCOMPARE(searchNotes(notes, QStringLiteral("文a")), QList<int>{3});
    QVERIFY(searchNotes(notes, QStringLiteral("abc")).isEmpty());
    QVERIFY(searchNotes({}, QStringLiteral("a")).isEmpty());
}

QTEST_GUILESS_MAIN(TestTextMetrics)
#include "tst_textmetrics.moc"
