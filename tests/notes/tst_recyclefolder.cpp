// The recovery folder is a real folder of this user: never a link, never someone else's folder.
#include "notes/RecycleFolder.h"
#include "support/Fakes.h"
#include "support/FolderFiles.h"
#include "support/Unprivileged.h"

#include <QDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 kDayMs = qint64(24) * 3600 * 1000;

} // namespace

class TestRecycleFolder : public QObject
{
    Q_OBJECT
private slots:
    void refusedFolderIsNeitherFollowedNorPruned_data();
    void refusedFolderIsNeitherFollowedNorPruned();
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

QTEST_GUILESS_MAIN(TestRecycleFolder)
#include "tst_recyclefolder.moc"
