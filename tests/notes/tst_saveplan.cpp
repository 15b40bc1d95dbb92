// SPDX-License-Identifier: GPL-3.0-or-later
#include "notes/FolderLook.h"
#include "notes/SavePlan.h"

#include <QtTest>

#include <sys/stat.h>

using namespace FolderFiles;

namespace {

// A folder and what the store knows of it, written as words: "1.txt=a" a file the store knows
// holds a; "1.txt=a>b" one it knows as a that was written since and now holds b; "1.txt+b" a file
// it never saw, holding b; "1.txt!a" a known file whose bytes did not decode cleanly; "-1.txt=a" a
// known file deleted since; "sub/" a folder. Texts hold no spaces.
struct Folder
{
    std::vector<Entry> listing;
    SavePlan::Records records;
    QHash<QByteArray, FileRead> reads;
    QStringList changed;

    explicit Folder(const QString& words)
    {
        quint64 inode = 100;
        for (const QString& word : words.split(u' ', Qt::SkipEmptyParts)) {
            const qsizetype mark = word.indexOf(QRegularExpression(QStringLiteral("[=+!]")));
            const QByteArray name = word.left(mark < 0 ? word.size() : mark).toUtf8();
            if (name.endsWith('/')) {
                listing.push_back(entry(name.chopped(1), S_IFDIR | 0700, ++inode, 0));
                continue;
            }
            const QStringList texts = word.mid(mark + 1).split(u'>');
            const bool deleted = name.startsWith('-');
            const Entry file = entry(deleted ? name.mid(1) : name, S_IFREG | 0600, ++inode, 1);
            if (word.at(mark) != u'+')
                records.insert(file.name,
                               {FileStamp::of(file.st), texts.first(), true, word.at(mark) == u'!'});
            if (deleted)
                continue;
            listing.push_back(texts.size() > 1 || word.at(mark) == u'+'
                                  ? entry(file.name, S_IFREG | 0600, inode, 2)
                                  : file);
            if (!isHidden(file.name) && (texts.size() > 1 || word.at(mark) == u'+'))
                changed.append(QString::fromUtf8(file.name));
            reads.insert(file.name,
                         {ReadOutcome::Read, {FileStamp::of(listing.back().st), texts.last(), true}});
        }
    }

    static Entry entry(const QByteArray& name, mode_t mode, quint64 inode, time_t seconds)
    {
        Entry e{name, {}, true, 0};
        e.st.st_mode = mode;
        e.st.st_ino = inode;
        e.st.st_mtim.tv_sec = seconds;
        return e;
    }
};

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

QStringList names(const auto& list)
{
    QStringList out;
    for (const QByteArray& name : list)
        out.append(QString::fromUtf8(name));
    return sorted(out);
}

} // namespace

class TestSavePlan : public QObject
{
    Q_OBJECT
private slots:
    void plan_data();
    void plan();
    void look_data();
    void look();
};

void TestSavePlan::plan_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("texts");
    // "1.txt:a" writes a; "2.txt<1.txt" moves the file 1.txt to 2.txt by a second link.
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<QStringList>("removals");
    QTest::addColumn<QStringList>("blocked");
    QTest::addColumn<QStringList>("lossy");
    QTest::addColumn<QStringList>("vanished");
    QTest::addColumn<bool>("outside");
    using L = QStringList;
    QTest::newRow("nothing changed") << "1.txt=a 2.txt=b" << L{"a", "b"} << L{} << L{} << L{} << L{} << L{}
                                     << false;
    QTest::newRow("blank notes are no files")
        << "1.txt=a" << L{"", "a", " \r\n "} << L{} << L{} << L{} << L{} << L{} << false;
    QTest::newRow("added at the top")
        << "1.txt=a 2.txt=b" << L{"n", "a", "b"} << L{"1.txt:n", "2.txt<1.txt", "3.txt<2.txt"} << L{} << L{}
        << L{} << L{} << false;
    QTest::newRow("one edited") << "1.txt=a 2.txt=b" << L{"a", "B"} << L{"2.txt:B"} << L{} << L{} << L{}
                                << L{} << false;
    QTest::newRow("one removed") << "1.txt=a 2.txt=b 3.txt=c" << L{"a", "c"} << L{"2.txt<3.txt"} << L{"3.txt"}
                                 << L{} << L{} << L{} << false;
    QTest::newRow("renumbered") << "1.txt=a 2.txt=b" << L{"b", "a"} << L{"1.txt<2.txt", "2.txt<1.txt"} << L{}
                                << L{} << L{} << L{} << false;
    QTest::newRow("changed outside") << "1.txt=a>x 2.txt=b" << L{"a", "b2"} << L{"2.txt:a", "3.txt:b2"} << L{}
                                     << L{"1.txt"} << L{} << L{} << true;
    QTest::newRow("touched outside, same text")
        << "1.txt=a>a 2.txt=b" << L{"a", "b"} << L{} << L{} << L{} << L{} << L{} << false;
    QTest::newRow("put there outside, our text")
        << "1.txt=a 2.txt+b" << L{"a", "b"} << L{} << L{} << L{} << L{} << L{} << false;
    QTest::newRow("put there outside, other text")
        << "1.txt=a 2.txt+zz" << L{"a", "b"} << L{"3.txt:b"} << L{} << L{"2.txt"} << L{} << L{} << true;
    QTest::newRow("deleted outside") << "-1.txt=a 2.txt=b" << L{"a", "b"} << L{"1.txt:a"} << L{} << L{} << L{}
                                     << L{"a"} << false;
    QTest::newRow("blocked name") << "1.txt/ 2.txt=a" << L{"a", "b"} << L{"3.txt:b"} << L{} << L{"1.txt"}
                                  << L{} << L{} << false;
    QTest::newRow("hidden file") << ".sync+zz 1.txt=a" << L{"a", "b"} << L{"2.txt:b"} << L{} << L{} << L{}
                                 << L{} << false;
    QTest::newRow("lossy original replaced") << "1.txt!a 2.txt!b" << L{"x"} << L{"1.txt:x"} << L{"2.txt"}
                                             << L{} << L{"1.txt", "2.txt"} << L{} << false;
    QTest::newRow("lossy file moved")
        << "1.txt!a" << L{"n", "a"} << L{"1.txt:n", "2.txt<1.txt"} << L{} << L{} << L{} << L{} << false;
}

void TestSavePlan::plan()
{
    QFETCH(QString, folder);
    QFETCH(QStringList, texts);
    const Folder f(folder);
    QStringList reread;
    const SavePlan plan = SavePlan::make(f.listing, {}, f.records, false, texts, [&](const QByteArray& name) {
        reread.append(QString::fromUtf8(name));
        return f.reads.value(name);
    });
    QStringList writes;
    for (const NoteWrite& write : plan.writes) {
        writes.append(QString::fromUtf8(write.name) + (write.linkFrom.isEmpty()
                                                           ? u':' + write.text
                                                           : u'<' + QString::fromUtf8(write.linkFrom)));
        // A moved file keeps what is known of its bytes.
        QCOMPARE(write.lossy, !write.linkFrom.isEmpty() && f.records.value(write.linkFrom).lossy);
    }
    QTEST(sorted(writes), "writes");
    QTEST(names(plan.removals), "removals");
    QTEST(names(plan.blocked), "blocked");
    QTEST(names(plan.lossyOriginals), "lossy");
    QTEST(plan.vanished, "vanished");
    QTEST(plan.outsideChange, "outside");
    // Only files written since the store saw them are read again, and every file the save may
    // touch is known with the stamp the save saw.
    QCOMPARE(sorted(reread), sorted(f.changed));
    for (auto it = plan.seen.cbegin(); it != plan.seen.cend(); ++it)
        QVERIFY(plan.records.value(it.key()).stamp == it.value());
}

void TestSavePlan::look_data()
{
    QTest::addColumn<QString>("folder");
    // How long ago (ms) an earlier look saw each written file as it is now; -1: never.
    QTest::addColumn<int>("sightedMsAgo");
    // "+n@a" n added after the note a; "~a>b@" a changed to b, first; "-a" a removed.
    QTest::addColumn<QStringList>("changes");
    QTest::addColumn<bool>("unsettled");
    using L = QStringList;
    QTest::newRow("nothing changed") << "1.txt=a 2.txt=b" << -1 << L{} << false;
    QTest::newRow("added") << "1.txt=a 2.txt+n" << 250 << L{"+n@a"} << false;
    QTest::newRow("changed") << "1.txt=a>x 2.txt=b" << 250 << L{"~a>x@"} << false;
    QTest::newRow("removed") << "-1.txt=a 2.txt=b" << -1 << L{"-a"} << false;
    QTest::newRow("renumbered by another copy") << "1.txt=a>b 2.txt=b>a" << 250 << L{} << false;
    QTest::newRow("added at the top by another copy") << "1.txt=a>n 2.txt+a" << 250 << L{"+n@"} << false;
    QTest::newRow("still being written") << "1.txt=a>x" << -1 << L{} << true;
    QTest::newRow("seen too recently") << "1.txt=a>x" << 100 << L{} << true;
    QTest::newRow("hidden file") << ".x+n 1.txt=a" << 250 << L{} << false;
    QTest::newRow("subfolder") << "sub/ 1.txt=a" << 250 << L{} << false;
}

void TestSavePlan::look()
{
    QFETCH(QString, folder);
    QFETCH(int, sightedMsAgo);
    const Folder f(folder);
    // Written files are two seconds old by the wall clock, too fresh to settle by their age alone.
    const qint64 nowMs = 10000;
    const qint64 wallNs = qint64(2) * 1000 * 1000 * 1000;
    FolderLook::Sightings sightings;
    for (const Entry& entry : f.listing) {
        if (sightedMsAgo >= 0 && f.changed.contains(QString::fromUtf8(entry.name)))
            sightings.insert(entry.name, {FileStamp::of(entry.st), nowMs - sightedMsAgo});
    }
    SavePlan::Records records = f.records;
    const FolderLook::Result result =
        FolderLook::compare(f.listing, {}, &records, &sightings, {}, nowMs, wallNs,
                            [&](const QByteArray& name) { return f.reads.value(name); });
    QStringList changes;
    for (const FolderLook::Change& change : result.changes) {
        if (change.kind == FolderLook::Change::Removed)
            changes.append(u'-' + change.before);
        else if (change.kind == FolderLook::Change::Added)
            changes.append(u'+' + change.after + u'@' + change.previous);
        else
            changes.append(u'~' + change.before + u'>' + change.after + u'@' + change.previous);
    }
    QTEST(changes, "changes");
    QTEST(result.unsettled, "unsettled");
    // A file taken in is known as read, and no longer waits; one still being written waits.
    for (const QString& name : f.changed) {
        const QByteArray bytes = name.toUtf8();
        QCOMPARE(sightings.contains(bytes), result.unsettled);
        if (!result.unsettled)
            QCOMPARE(records.value(bytes).text, f.reads.value(bytes).file.text);
    }
}

QTEST_GUILESS_MAIN(TestSavePlan)
#include "tst_saveplan.moc"
