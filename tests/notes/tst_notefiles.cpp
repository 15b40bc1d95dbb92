// SPDX-License-Identifier: GPL-3.0-or-later
#include "notes/NoteFiles.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

class TestNoteFiles : public QObject
{
    Q_OBJECT
private slots:
    void byteOrderMark_data();
    void byteOrderMark();
    void markOfFilesThatCannotBeOpened();
    void decoding_data();
    void decoding();
    void canonicalOnlyForWhatASaveWrites();
    void missingFiles();
    void readersOnGbkAndMarkedFiles();
    void pipeIsRefusedWithoutBlocking();
    void writeReplacesWithMarkAndNoLineBreak();
    void hugeAndBinaryFiles();

private:
    QString put(const QByteArray& bytes, const QString& name = QStringLiteral("n.txt"));
    QTemporaryDir m_dir;
};

QString TestNoteFiles::put(const QByteArray& bytes, const QString& name)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write test file");
    return path;
}

void TestNoteFiles::byteOrderMark_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("code");
    QTest::newRow("none") << QByteArray("abcd") << 0;
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("utf-8") << QByteArray("\xEF\xBB\xBFx") << 1;
    QTest::newRow("utf-8 cut") << QByteArray("\xEF\xBB") << 0;
    QTest::newRow("utf-16 le") << QByteArray("\xFF\xFE\x41\x00") << 2;
    QTest::newRow("utf-16 be") << QByteArray("\xFE\xFF\x00\x41") << 3;
    QTest::newRow("utf-32 le") << QByteArray("\xFF\xFE\x00\x00", 4) << 4;
    QTest::newRow("utf-32 be") << QByteArray("\x00\x00\xFE\xFF", 4) << 5;
    QTest::newRow("ff fe alone counts as utf-32") << QByteArray("\xFF\xFE") << 4;
}

void TestNoteFiles::byteOrderMark()
{
    QFETCH(QByteArray, head);
    QFETCH(int, code);
    QCOMPARE(byteOrderMarkOf(head), code);
    // A short file is read as if the missing bytes were 00.
    QCOMPARE(DetectByteOrderMark(put(head)), code);
}

void TestNoteFiles::markOfFilesThatCannotBeOpened()
{
    QCOMPARE(DetectByteOrderMark(m_dir.filePath(QStringLiteral("absent.txt"))), -1);
    QCOMPARE(DetectByteOrderMark(m_dir.path()), -1);
}

void TestNoteFiles::decoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    const QString chinese = QStringLiteral("中文便笺");
    QTest::newRow("zero bytes") << QByteArray() << QString();
    QTest::newRow("utf-8 with mark") << QByteArray("\xEF\xBB\xBFHello") << QStringLiteral("Hello");
    QTest::newRow("mark is not part of the text") << QByteArray("\xEF\xBB\xBF") << QString();
    QTest::newRow("a second mark is text")
        << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFx") << QStringLiteral("\uFEFFx");
    QTest::newRow("utf-8 without mark") << chinese.toUtf8() << chinese;
    QTest::newRow("gbk without mark") << QByteArray("\xD6\xD0\xCE\xC4\xB1\xE3\xBC\xE3") << chinese;
    QTest::newRow("gbk with line breaks") << QByteArray("\xD6\xD0\r\n\xCE\xC4") << QStringLiteral("中\r\n文");
    QTest::newRow("broken utf-8 after a mark")
        << QByteArray("\xEF\xBB\xBF\x61\xFF\x62") << QStringLiteral("a\uFFFDb");
    QTest::newRow("utf-16 le") << QByteArray("\xFF\xFE\x2D\x4E\x61\x00", 6) << QStringLiteral("中a");
    QTest::newRow("utf-16 be") << QByteArray("\xFE\xFF\x4E\x2D\x00\x61", 6) << QStringLiteral("中a");
    QTest::newRow("utf-16 odd byte") << QByteArray("\xFE\xFF\x00\x61\x00", 5) << QStringLiteral("a\uFFFD");
    QTest::newRow("utf-32 le") << QByteArray("\xFF\xFE\x00\x00\x00\xF6\x01\x00", 8)
                               << QStringLiteral("\U0001F600");
    QTest::newRow("utf-32 be") << QByteArray("\x00\x00\xFE\xFF\x00\x00\x4E\x2D", 8) << QStringLiteral("中");
    QTest::newRow("ff fe alone") << QByteArray("\xFF\xFE") << QString();
}

void TestNoteFiles::decoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(decodeNoteBytes(bytes), text);
    bool ok = false;
    QCOMPARE(ReadNoteFile(put(bytes), &ok), text);
    QVERIFY(ok);
}

void TestNoteFiles::canonicalOnlyForWhatASaveWrites()
{
    const QString text = QStringLiteral("第一行\r\n\tsecond \uFEFF");
    bool canonical = false;
    QCOMPARE(decodeNoteBytes(encodeNoteBytes(text), &canonical), text);
    QVERIFY(canonical);
    decodeNoteBytes(text.toUtf8(), &canonical);
    QVERIFY(!canonical); // right text, but no mark
    decodeNoteBytes(QByteArray("\xEF\xBB\xBF\x61\xC3"), &canonical);
    QVERIFY(!canonical); // a broken sequence does not survive the round trip
    decodeNoteBytes(QByteArray("\xFF\xFE\x61\x00"), &canonical);
    QVERIFY(!canonical);
}

void TestNoteFiles::missingFiles()
{
    const QString absent = m_dir.filePath(QStringLiteral("gone.txt"));
    bool ok = false;
    QCOMPARE(ReadNoteFile(absent, &ok), QString());
    QVERIFY(ok);
    QCOMPARE(ReadAnsiFile(absent, &ok), QString());
    QVERIFY(ok);
    ReadUtf8File(absent, &ok);
    QVERIFY(!ok);
    ReadNoteFile(m_dir.path(), &ok);
    QVERIFY(!ok); // a folder is no note
}

void TestNoteFiles::readersOnGbkAndMarkedFiles()
{
    bool ok = false;
    const QString gbk = put(QByteArray("\xD6\xD0\xCE\xC4"), QStringLiteral("a.md"));
    QCOMPARE(ReadAnsiFile(gbk, &ok), QStringLiteral("中文"));
    QVERIFY(ok);
    const QString marked = put(QByteArray("\xEF\xBB\xBF\xE4\xB8\xAD"), QStringLiteral("m.txt"));
    QCOMPARE(ReadUtf8File(marked, &ok), QStringLiteral("中"));
    QVERIFY(ok);
    const QString wide = put(QByteArray("\xFF\xFE\x2D\x4E", 4), QStringLiteral("w.txt"));
    QCOMPARE(ReadUtf8File(wide, &ok), QStringLiteral("中"));
}

void TestNoteFiles::pipeIsRefusedWithoutBlocking()
{
    const QString fifo = m_dir.filePath(QStringLiteral("pipe.txt"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    bool ok = true;
    QCOMPARE(ReadNoteFile(fifo, &ok), QString());
    QVERIFY(!ok);
    QCOMPARE(DetectByteOrderMark(fifo), -1);
}

void TestNoteFiles::writeReplacesWithMarkAndNoLineBreak()
{
    const QString path = put(QByteArray(5000, 'x'), QStringLiteral("w1.txt"));
    const QString text = QStringLiteral("便笺\r\nline");
    QVERIFY(WriteUtf8File(path, text));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("\xEF\xBB\xBF") + text.toUtf8());
    QCOMPARE(ReadNoteFile(path), text);
    QVERIFY(!WriteUtf8File(m_dir.filePath(QStringLiteral("no/such/folder.txt")), text));
}

void TestNoteFiles::hugeAndBinaryFiles()
{
    QByteArray big(50 * 1024 * 1024, 'a');
    big.replace(1000, 6, QStringLiteral("中文").toUtf8());
    bool ok = false;
    const QString bigText = ReadNoteFile(put(big, QStringLiteral("big.txt")), &ok);
    QVERIFY(ok);
    QCOMPARE(bigText.size(), big.size() - 4);
    QCOMPARE(bigText.mid(999, 4), QStringLiteral("a中文a"));
    big.clear();

    QByteArray binary(8 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator generator(7);
    generator.fillRange(reinterpret_cast<quint32*>(binary.data()), binary.size() / 4);
    binary[0] = 'x'; // no mark
    const QString binaryText = ReadNoteFile(put(binary, QStringLiteral("bin.dat")), &ok);
    QVERIFY(ok);
    QVERIFY(binaryText.size() >= binary.size() / 2);
    QVERIFY(binaryText.contains(QChar(0xFFFD)));
}

QTEST_GUILESS_MAIN(TestNoteFiles)
#include "tst_notefiles.moc"
