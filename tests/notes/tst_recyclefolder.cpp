// SPDX-License-Identifier: GPL-3.0-or-later
// The recovery folder deletes only what it put there itself: never through a link, never in a folder
// of someone else, never a file its log does not name, and never because of what a damaged log says.
#include "notes/RecycleFolder.h"
#include "support/Fakes.h"
#include "support/FolderFiles.h"
#include "support/Unprivileged.h"

#include <QDir>
#include <QtTest>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 kDayMs = qint64(24) * 3600 * 1000;

void appendTo(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::Append) || file.write(bytes) != bytes.size())
        qFatal("cannot append to %s", qPrintable(path));
}

QStringList sorted(QStringList names)
{
    std::sort(names.begin(), names.end());
    return names;
}

QStringList texts(int count, const QString& prefix)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list.append(prefix + QString::number(i));
    return list;
}

QString planted(int i)
{
    return QStringLiteral("p%1.txt").arg(i, 3, 10, QLatin1Char('0'));
}

} // namespace

class TestRecycleFolder : public QObject
{
    Q_OBJECT
private slots:
    void refusedFolderIsNeitherFollowedNorPruned_data();
    void refusedFolderIsNeitherFollowedNorPruned();
    void damagedLogNeverPrunesTheNewestOrTheRecent_data();
    void damagedLogNeverPrunesTheNewestOrTheRecent();
    void filesNotOursAreNeverPruned_data();
    void filesNotOursAreNeverPruned();
};

void TestRecycleFolder::refusedFolderIsNeitherFollowedNorPruned_data()
{
    QTest::addColumn<bool>("link");
    QTest::newRow("a link to the user's documents") << true;
    QTest::newRow("a folder of another user") << false;
}

void TestRecycleFolder::refusedFolderIsNeitherFollowedNorPruned()
{
    QFETCH(bool, link);
    if (!link && ::geteuid() != 0)
        QSKIP("only root can give the test a folder that belongs to another user");
    TestPlatform tp;
    const QString app = tp.path(QStringLiteral("app"));
    QVERIFY(QDir().mkpath(app + QStringLiteral("/Notes")));
    writeRaw(app + QStringLiteral("/Notes/1.txt"), "a note");
    QVERIFY(giveToUnprivileged(app));
    QVERIFY(::chmod(QFile::encodeName(tp.appFolder()).constData(), 0755) == 0);
    // More documents than the folder keeps, each writable by the user the application runs as.
    const QString documents =
        link ? tp.path(QStringLiteral("Documents")) : app + QStringLiteral("/Notes.recycle");
    QVERIFY(QDir().mkpath(documents));
    QStringList names;
    for (int i = 0; i < RecycleFolder::kKeep + 50; ++i) {
        names.append(QStringLiteral("doc-%1.txt").arg(i, 3, 10, QLatin1Char('0')));
        writeRaw(documents + u'/' + names.last(), "a document");
    }
    if (link) {
        QVERIFY(giveToUnprivileged(documents));
        QVERIFY(QFile::link(documents, app + QStringLiteral("/Notes.recycle")));
    } else {
        QVERIFY(::chmod(QFile::encodeName(documents).constData(), 0777) == 0);
    }

    const int result = runUnprivileged([&] {
        FakeClock clock;
        RecycleFolder recycle(QFile::encodeName(app), &clock);
        const int notes = ::open(QFile::encodeName(app + QStringLiteral("/Notes")).constData(),
                                 O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (int day : {0, 31}) {
            clock.advanceMs(day * kDayMs);
            int error = 0;
            if (recycle.writeTexts({QStringLiteral("removed")}, &error) != QStringList{"removed"} ||
                error == 0)
                return 1;
            if (recycle.keepOriginal(notes, "1.txt") == 0)
                return 2;
            if (recycle.moveIn(notes, "1.txt", false))
                return 3;
        }
        return 0;
    });
    QCOMPARE(result, 0);
    QCOMPARE(entriesIn(documents), names);
    QCOMPARE(readRaw(app + QStringLiteral("/Notes/1.txt")), QByteArray("a note"));
}

void TestRecycleFolder::damagedLogNeverPrunesTheNewestOrTheRecent_data()
{
    QTest::addColumn<QString>("sequences");
    QTest::addColumn<QString>("times");
    // The first planted file that must still be there at the end: the rest of the newest 200 and
    // everything younger than 30 days.
    QTest::addColumn<int>("keptFrom");
    QTest::newRow("largest sequence, the next one wraps") << "largest last"
                                                          << "old" << 52;
    QTest::newRow("sequences reversed against the times") << "descending"
                                                          << "old" << 52;
    QTest::newRow("negative, overflowing, future, unreadable times") << "ascending"
                                                                     << "absurd" << 0;
    QTest::newRow("younger than the limit, sequences reversed") << "descending"
                                                                << "young" << 0;
}

void TestRecycleFolder::damagedLogNeverPrunesTheNewestOrTheRecent()
{
    QFETCH(QString, sequences);
    QFETCH(QString, times);
    QFETCH(int, keptFrom);
    TestPlatform tp;
    const QDateTime end(QDate(2026, 6, 1), QTime(12, 0));
    tp.clock.setNow(end.addDays(-31));
    const QByteArray app = QFile::encodeName(tp.appFolder());
    const QString folder = tp.path(QStringLiteral("Notes.recycle"));
    int error = 0;
    {
        RecycleFolder recycle(app, &tp.clock);
        QCOMPARE(recycle.writeTexts({QStringLiteral("first")}, &error), QStringList());
    }
    // Two hundred and fifty files the log says arrived after it, with what a damaged log may say.
    const QList<QByteArray> absurd{"-5", "99999999999999999999",
                                   QByteArray::number(end.addYears(10).toMSecsSinceEpoch()), "soon"};
    QByteArray lines;
    constexpr int kPlanted = RecycleFolder::kKeep + 50;
    for (int i = 0; i < kPlanted; ++i) {
        qint64 seq = 2 + i;
        if (sequences == QLatin1String("descending"))
            seq = 1000 - i;
        else if (sequences == QLatin1String("largest last") && i == kPlanted - 1)
            seq = std::numeric_limits<qint64>::max();
        QByteArray time = absurd.at(i % absurd.size());
        if (times == QLatin1String("old"))
            time = QByteArray::number(end.addDays(-60).addSecs(60 * i).toMSecsSinceEpoch());
        else if (times == QLatin1String("young"))
            time = QByteArray::number(end.addDays(-10).addSecs(60 * i).toMSecsSinceEpoch());
        lines += QByteArray::number(seq) + ' ' + time + ' ' + planted(i).toLatin1() + '\n';
        writeRaw(folder + u'/' + planted(i), "planted");
    }
    appendTo(folder + QStringLiteral("/.removed.log"), lines);

    // A restart, a removal, and one more a month later.
    RecycleFolder restarted(app, &tp.clock);
    QCOMPARE(restarted.writeTexts({QStringLiteral("second newest")}, &error), QStringList());
    tp.clock.setNow(end);
    QCOMPARE(restarted.writeTexts({QStringLiteral("newest")}, &error), QStringList());

    QStringList expected{"20260501-120000-002.txt", "20260601-120000-001.txt"};
    for (int i = keptFrom; i < kPlanted; ++i)
        expected.append(planted(i));
    QCOMPARE(sorted(filesIn(folder)), sorted(expected));
}

void TestRecycleFolder::filesNotOursAreNeverPruned_data()
{
    QTest::addColumn<QString>("layout");
    // How many of the files that are not ours lie in the folder itself, and how many of ours are left.
    QTest::addColumn<int>("theirsInside");
    QTest::addColumn<int>("oursLeft");
    QTest::newRow("a file put in by hand") << "by hand" << 1 << RecycleFolder::kKeep;
    QTest::newRow("a folder the user made") << "user's folder" << 2 << RecycleFolder::kKeep;
    QTest::newRow("an older log naming the user's files") << "older log" << 2 << RecycleFolder::kKeep;
    QTest::newRow("log lines naming paths and a subfolder") << "paths" << 0 << RecycleFolder::kKeep;
    QTest::newRow("a log too large to read") << "large log" << 0 << RecycleFolder::kKeep + 62;
    QTest::newRow("a pipe in place of the log") << "pipe" << 0 << RecycleFolder::kKeep + 62;
}

void TestRecycleFolder::filesNotOursAreNeverPruned()
{
    QFETCH(QString, layout);
    QFETCH(int, theirsInside);
    QFETCH(int, oursLeft);
    TestPlatform tp;
    const QString folder = tp.path(QStringLiteral("Notes.recycle"));
    const QString log = folder + QStringLiteral("/.removed.log");
    const QByteArray old = QByteArray::number(tp.clock.now().addDays(-90).toMSecsSinceEpoch());
    QStringList theirs; // relative to the application folder
    if (layout == QLatin1String("user's folder") || layout == QLatin1String("older log")) {
        QVERIFY(QDir().mkpath(folder));
        theirs << QStringLiteral("Notes.recycle/mine.txt") << QStringLiteral("Notes.recycle/notes.md");
        if (layout == QLatin1String("older log"))
            writeRaw(log, "1 " + old + " mine.txt\n" + old + " notes.md\n");
    }
    for (const QString& path : theirs)
        writeRaw(tp.path(path), "theirs");

    RecycleFolder recycle(QFile::encodeName(tp.appFolder()), &tp.clock);
    int error = 0;
    QCOMPARE(recycle.writeTexts({QStringLiteral("zero")}, &error), QStringList());
    if (layout == QLatin1String("by hand")) {
        theirs << QStringLiteral("Notes.recycle/mine.txt");
        writeRaw(tp.path(theirs.last()), "theirs");
    } else if (layout == QLatin1String("paths")) {
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/sub")));
        QVERIFY(QDir().mkpath(tp.path(QStringLiteral("Notes"))));
        theirs << QStringLiteral("Notes.recycle/sub/inner.txt") << QStringLiteral("Notes/keep.txt");
        for (const QString& path : theirs)
            writeRaw(tp.path(path), "theirs");
        appendTo(log,
                 "7 " + old + " ..%2FNotes%2Fkeep.txt\n8 " + old + " sub%2Finner.txt\n9 " + old + " sub\n");
    } else if (layout == QLatin1String("large log")) {
        appendTo(log, QByteArray(8 * 1024 * 1024, 'x') + '\n');
    } else if (layout == QLatin1String("pipe")) {
        QVERIFY(QFile::remove(log));
        QVERIFY(::mkfifo(QFile::encodeName(log).constData(), 0600) == 0);
    }
    QCOMPARE(recycle.writeTexts(texts(RecycleFolder::kKeep + 60, QStringLiteral("removed ")), &error),
             QStringList());
    tp.clock.advanceMs(31 * kDayMs);
    QCOMPARE(recycle.writeTexts({QStringLiteral("a month later")}, &error), QStringList());

    for (const QString& path : theirs)
        QCOMPARE(readRaw(tp.path(path)), QByteArray("theirs"));
    QCOMPARE(filesIn(folder).size(), oursLeft + theirsInside);
}

QTEST_GUILESS_MAIN(TestRecycleFolder)
#include "tst_recyclefolder.moc"
