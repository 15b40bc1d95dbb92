// SPDX-License-Identifier: GPL-3.0-or-later
// The system's folder watcher reports what a sync tool does to a folder, once it is quiet, and
// nothing for hidden files alone.
#include "platform/FolderWatcher.h"
#include "support/FolderFiles.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

class TestFolderWatcher : public QObject
{
    Q_OBJECT
private slots:
    void reportsChangesOfVisibleFiles_data();
    void reportsChangesOfVisibleFiles();
};

void TestFolderWatcher::reportsChangesOfVisibleFiles_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("reported");
    QTest::newRow("new file") << "write 2.txt" << true;
    QTest::newRow("hidden file renamed in") << "rename .2.txt.tmp 2.txt" << true;
    QTest::newRow("file written in place") << "write 1.txt" << true;
    QTest::newRow("file deleted") << "delete 1.txt" << true;
    QTest::newRow("hidden file only") << "write .syncthing.2.txt.tmp" << false;
}

void TestFolderWatcher::reportsChangesOfVisibleFiles()
{
    QFETCH(QString, action);
    QFETCH(bool, reported);
    QTemporaryDir dir;
    const auto path = [&](const QString& name) { return dir.path() + u'/' + name; };
    writeRaw(path(QStringLiteral("1.txt")), "one");
    writeRaw(path(QStringLiteral(".2.txt.tmp")), "two");
    InotifyFolderWatcher watcher;
    QVERIFY(watcher.watch(dir.path()));
    QSignalSpy spy(&watcher, &FolderWatcher::changed);

    const QStringList words = action.split(u' ');
    if (words.at(0) == QLatin1String("write"))
        writeRaw(path(words.at(1)), "new");
    else if (words.at(0) == QLatin1String("delete"))
        QVERIFY(QFile::remove(path(words.at(1))));
    else
        QCOMPARE(std::rename(QFile::encodeName(path(words.at(1))).constData(),
                             QFile::encodeName(path(words.at(2))).constData()),
                 0);
    if (reported) {
        QVERIFY(spy.wait(5000));
        QTest::qWait(FolderWatcher::kQuietMs * 2);
        QCOMPARE(spy.count(), 1); // one report for the burst of events of one write
    } else {
        QVERIFY(!spy.wait(FolderWatcher::kQuietMs * 3));
    }
}

QTEST_GUILESS_MAIN(TestFolderWatcher)
#include "tst_folderwatcher.moc"
