// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/cStringBuilder.h"

#include <QtTest>
#include <functional>

class TestStringBuilder : public QObject
{
    Q_OBJECT
private slots:
    void newBuilderIsEmpty();
    void growsOneChunkAtATime();
    void chunkSizeChangesGrowthAndRejectsOverflow();
    void appendNLAddsCrLf();
    void theStringReplacesContent();
    void emptyTheStringClears();
    void insertAndRemove_data();
    void insertAndRemove();
    void badIndexesRaiseNineAndChangeNothing_data();
    void badIndexesRaiseNineAndChangeNothing();
    void removeKeepsCapacity();
    void heapMinimizeGivesBackWholeChunks();
    void findReportsMatchesInsideContentOnly_data();
    void findReportsMatchesInsideContentOnly();
    void byValVariantsMatch();
};

void TestStringBuilder::newBuilderIsEmpty()
{
    cStringBuilder sb;
    QCOMPARE(sb.Length(), 0);
    QCOMPARE(sb.Capacity(), 0);
    QCOMPARE(sb.ChunkSize(), 8192);
    QCOMPARE(sb.toString(), QString());
}

void TestStringBuilder::growsOneChunkAtATime()
{
    cStringBuilder sb;
    sb.Append(u"x");
    QCOMPARE(sb.Capacity(), 8192);
    QCOMPARE(sb.Length(), 1);
    sb.Append(QString(8191, u'y'));
    QCOMPARE(sb.Capacity(), 8192);
    sb.Append(u"z");
    QCOMPARE(sb.Capacity(), 16384);
    QCOMPARE(sb.Length(), 8193);
    // One append bigger than several chunks grows by as many chunks as it needs.
    sb.Append(QString(20000, u'w'));
    QCOMPARE(sb.Capacity(), 8192 * 4);
    QCOMPARE(sb.toString(),
             QStringLiteral("x") + QString(8191, u'y') + QStringLiteral("z") + QString(20000, u'w'));
}

void TestStringBuilder::chunkSizeChangesGrowthAndRejectsOverflow()
{
    cStringBuilder sb;
    sb.setChunkSize(4);
    sb.Append(u"abcde");
    QCOMPARE(sb.Capacity(), 8);
    try {
        sb.setChunkSize(0x40000000); // 2^31 bytes does not fit
        QFAIL("no overflow");
    } catch (const StringBuilderError& e) {
        QCOMPARE(e.number(), 6);
    }
    QCOMPARE(sb.ChunkSize(), 4);
    sb.setChunkSize(0x3FFFFFFF);
    QCOMPARE(sb.ChunkSize(), 0x3FFFFFFF);
    // The next growth would need 2^31 bytes and more.
    try {
        sb.Append(QString(4, u'q'));
        QFAIL("no overflow");
    } catch (const StringBuilderError& e) {
        QCOMPARE(e.number(), 6);
    }
    QCOMPARE(sb.toString(), QStringLiteral("abcde"));
    QVERIFY_THROWS_EXCEPTION(StringBuilderError, sb.setChunkSize(0));
}

void TestStringBuilder::appendNLAddsCrLf()
{
    cStringBuilder sb;
    sb.AppendNL(u"a");
    QCOMPARE(sb.toString(), QStringLiteral("a\r\n"));
    QCOMPARE(sb.Length(), 3);
}

void TestStringBuilder::theStringReplacesContent()
{
    cStringBuilder sb;
    sb.Append(u"0123456789");
    sb.setTheString(u"abc");
    QCOMPARE(sb.Length(), 3);
    QCOMPARE(sb.toString(), QStringLiteral("abc"));
    QCOMPARE(sb.Capacity(), 8192);
    sb.Append(u"d");
    QCOMPARE(sb.toString(), QStringLiteral("abcd"));
}

void TestStringBuilder::emptyTheStringClears()
{
    cStringBuilder sb;
    sb.Append(u"abc");
    sb.setTheString(u"");
    QCOMPARE(sb.Length(), 0);
    QCOMPARE(sb.Capacity(), 0);
    sb.Append(u"x");
    sb.Clear();
    QCOMPARE(sb.Length(), 0);
    QCOMPARE(sb.Capacity(), 0);
    QCOMPARE(sb.toString(), QString());
}

void TestStringBuilder::insertAndRemove_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("expected");

    QTest::newRow("insert at end") << "abcd"
                                   << "insert" << 4 << "xy" << 0 << "abcdxy";
    QTest::newRow("insert at start") << "abcd"
                                     << "insert" << 0 << "xy" << 0 << "xyabcd";
    QTest::newRow("insert inside") << "abcd"
                                   << "insert" << 2 << "xy" << 0 << "abxycd";
    QTest::newRow("insert into empty") << ""
                                       << "insert" << 0 << "xy" << 0 << "xy";
    QTest::newRow("remove inside") << "abcd"
                                   << "remove" << 1 << "" << 2 << "ad";
    QTest::newRow("remove tail") << "abcd"
                                 << "remove" << 2 << "" << 2 << "ab";
    QTest::newRow("remove all") << "abcd"
                                << "remove" << 0 << "" << 4 << "";
    QTest::newRow("remove nothing at end") << "abcd"
                                           << "remove" << 4 << "" << 0 << "abcd";
}

void TestStringBuilder::insertAndRemove()
{
    QFETCH(QString, content);
    QFETCH(QString, operation);
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(int, count);
    QFETCH(QString, expected);

    cStringBuilder sb;
    sb.setChunkSize(3); // small chunks make the insert move across a growth
    sb.Append(content);
    if (operation == QLatin1String("insert"))
        sb.Insert(index, text);
    else
        sb.Remove(index, count);
    QCOMPARE(sb.toString(), expected);
    QCOMPARE(sb.Length(), expected.size());
    QVERIFY(sb.Capacity() >= sb.Length());
}

void TestStringBuilder::badIndexesRaiseNineAndChangeNothing_data()
{
    QTest::addColumn<std::function<void(cStringBuilder&)>>("operation");
    QTest::newRow("insert past end") << std::function<void(cStringBuilder&)>(
        [](cStringBuilder& sb) { sb.Insert(5, u"xy"); });
    QTest::newRow("insert negative") << std::function<void(cStringBuilder&)>(
        [](cStringBuilder& sb) { sb.Insert(-1, u"xy"); });
    QTest::newRow("remove from past end")
        << std::function<void(cStringBuilder&)>([](cStringBuilder& sb) { sb.Remove(5, 0); });
    QTest::newRow("remove running past end")
        << std::function<void(cStringBuilder&)>([](cStringBuilder& sb) { sb.Remove(3, 2); });
    QTest::newRow("remove negative count")
        << std::function<void(cStringBuilder&)>([](cStringBuilder& sb) { sb.Remove(1, -1); });
    QTest::newRow("find before start")
        << std::function<void(cStringBuilder&)>([](cStringBuilder& sb) { sb.Find(u"a", 0); });
}

void TestStringBuilder::badIndexesRaiseNineAndChangeNothing()
{
    QFETCH(std::function<void(cStringBuilder&)>, operation);
    cStringBuilder sb;
    sb.Append(u"abcd");
    try {
        operation(sb);
        QFAIL("no error raised");
    } catch (const StringBuilderError& e) {
        QCOMPARE(e.number(), 9);
        QCOMPARE(QByteArray(e.what()), QByteArray("Subscript out of range"));
    }
    QCOMPARE(sb.toString(), QStringLiteral("abcd"));
    QCOMPARE(sb.Capacity(), 8192);
}

void TestStringBuilder::removeKeepsCapacity()
{
    cStringBuilder sb;
    sb.Append(QString(9000, u'a'));
    QCOMPARE(sb.Capacity(), 16384);
    sb.Remove(0, 9000);
    QCOMPARE(sb.Length(), 0);
    QCOMPARE(sb.Capacity(), 16384);
    QCOMPARE(sb.toString(), QString());
}

void TestStringBuilder::heapMinimizeGivesBackWholeChunks()
{
    cStringBuilder sb;
    sb.setChunkSize(10);
    sb.Append(QString(45, u'a'));
    QCOMPARE(sb.Capacity(), 50);
    sb.Remove(0, 40);
    // Free room 45: four chunks go, leaving 5 free characters (no more than one chunk).
    sb.HeapMinimize();
    QCOMPARE(sb.Capacity(), 10);
    QCOMPARE(sb.toString(), QString(5, u'a'));
    sb.Append(QString(6, u'b'));
    QCOMPARE(sb.Capacity(), 20);
    QCOMPARE(sb.toString(), QString(5, u'a') + QString(6, u'b'));
}

void TestStringBuilder::findReportsMatchesInsideContentOnly_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("start");
    QTest::addColumn<bool>("ignoreCase");
    QTest::addColumn<int>("expected");

    QTest::newRow("first match") << "abcabc"
                                 << "bc" << 1 << false << 2;
    QTest::newRow("from start index") << "abcabc"
                                      << "bc" << 3 << false << 5;
    QTest::newRow("last character") << "abcd"
                                    << "d" << 1 << false << 4;
    QTest::newRow("case differs") << "abcABC"
                                  << "AB" << 1 << false << 4;
    QTest::newRow("case ignored") << "abcABC"
                                  << "AB" << 1 << true << 1;
    QTest::newRow("absent") << "abcd"
                            << "x" << 1 << false << 0;
    QTest::newRow("start past content") << "abcd"
                                        << "a" << 6 << false << 0;
    // The filler behind the content is spaces; a match reaching into it is not reported.
    QTest::newRow("not in filler") << "ab"
                                   << "b " << 1 << false << 0;
    QTest::newRow("stale characters") << "stale"
                                      << "le" << 1 << false << 0;
}

void TestStringBuilder::findReportsMatchesInsideContentOnly()
{
    QFETCH(QString, content);
    QFETCH(QString, text);
    QFETCH(int, start);
    QFETCH(bool, ignoreCase);
    QFETCH(int, expected);

    cStringBuilder sb;
    if (QTest::currentDataTag() == QByteArray("stale characters")) {
        sb.Append(content);
        sb.setTheString(u"st"); // "ale" stays behind the content as filler
    } else {
        sb.Append(content);
    }
    QCOMPARE(sb.Find(text, start, ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive), expected);
}

void TestStringBuilder::byValVariantsMatch()
{
    cStringBuilder a;
    cStringBuilder b;
    QString text = QStringLiteral("xyz");
    a.Append(text);
    b.AppendByVal(text);
    a.Insert(1, text);
    b.InsertByVal(1, text);
    QCOMPARE(a.toString(), QStringLiteral("xxyzyz"));
    QCOMPARE(b.toString(), a.toString());
    QCOMPARE(text, QStringLiteral("xyz"));
}

QTEST_GUILESS_MAIN(TestStringBuilder)
#include "tst_stringbuilder.moc"
