// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/UserKey.h"
#include "support/FolderFiles.h"
#include "tasks/TaskActions.h"
#include "tasks/TaskHarness.h"
#include "tasks/TaskStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

Q_DECLARE_METATYPE(TaskItem)

namespace {

// The user's key for the whole run, outside every data folder a test makes.
QString testKeyPath()
{
    static QTemporaryDir config;
    return config.filePath(QStringLiteral("VemraNotes/tasks.key"));
}

// A due moment with milliseconds, so a round trip that drops them shows.
const QDateTime SomeDue(QDate(2024, 3, 5), QTime(1, 30, 0, 123), Qt::UTC);

// One application session: an engine on its own fake clock whose list, when it changes, is kept
// in the store as the window keeps it.
struct Session
{
    TaskHarness h;
    TaskStore store;
    QStringList saveFailures;

    Session(const QString& folder, const QDateTime& now, const QString& keyPath = testKeyPath())
        : store(folder, h.clock, keyPath)
    {
        h.clock.setNow(now);
        QObject::connect(&h.engine, &TaskEngine::listChanged, [this] {
            const auto result = store.save(h.engine.storedTasks());
            if (!result.ok())
                saveFailures << result.describe();
        });
    }
};

const QDateTime Start(QDate(2024, 3, 5), QTime(9, 0, 0));

} // namespace

class TestTaskStore : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void wholeListRoundTripKeepsOrderOneTaskPerLine();
    void handWrittenFileReads();
    void rejects_data();
    void rejects();
    void missingFileGivesEmptyListAndNoProblem();
    void unusableFileIsSetAsideAndListStartsEmpty_data();
    void unusableFileIsSetAsideAndListStartsEmpty();
    void setAsideNeverReplacesAnEarlierBadFile();
    void fileThatCannotBeSetAsideIsNeverWritten();
    void saveWritesPrivateFileAndRemoveFileRemovesIt();
    void countdownClosedForTenMinutesResumes();
    void countdownClosedForFortyMinutesFiresAtFirstTick_data();
    void countdownClosedForFortyMinutesFiresAtFirstTick();
    void pastDuePowerTaskIsDoneAndItsCommandNeverStarts();
    void otherTasksComeBackAsTheyWere();
    void onlyASignatureOfOursArmsWhatRunsSomething_data();
    void onlyASignatureOfOursArmsWhatRunsSomething();
    void aHeldTaskStaysHeldAcrossSavesUntilArmed();
    void aRuleNotKnownHoldsItsTaskAndIsKept_data();
    void aRuleNotKnownHoldsItsTaskAndIsKept();
};

void TestTaskStore::roundTrip_data()
{
    QTest::addColumn<TaskItem>("task");
    QTest::addColumn<bool>("withDue");
    // clang-format off
    QTest::newRow("countdown, message") << TaskItem{"泡上一碗热气腾腾的泡面。", "-00:05:00", 0, 1, "香喷喷的面泡好咯！赶紧开动吧！"} << true;
    QTest::newRow("countdown, shut down") << TaskItem{"等下自动关闭电脑。", "-00:30:00", 0, 0, "0"} << true;
    QTest::newRow("countdown, hibernate") << TaskItem{"休眠", "-01:00:00", 0, 0, "1"} << true;
    QTest::newRow("countdown, restart") << TaskItem{"重启", "-00:00:01", 0, 0, "2"} << true;
    QTest::newRow("largest countdown, music") << TaskItem{"小憩", "-23:59:59", 0, 2, "/home/u/音乐/きみをのせて.wav"} << true;
    QTest::newRow("clock time, open file") << TaskItem{"报表", "+07:30", 0, 3, "/tmp/a b/报表.pdf"} << false;
    QTest::newRow("midnight, command") << TaskItem{"备份", "+00:00", 0, 4, "tar czf \"$HOME/b.tgz\" ~/Notes && echo ok"} << false;
    QTest::newRow("no timer, pending") << TaskItem{"待办任务", "------", 2, 1, "待办任务"} << false;
    QTest::newRow("run out, done") << TaskItem{"汤", "-**:**:**", 1, 1, "去关火吧。"} << false;
    QTest::newRow("stopped countdown, pending") << TaskItem{"停了", "-00:04:12", 2, 4, ""} << false;
    QTest::newRow("done clock time") << TaskItem{"闹钟", "+23:59", 1, 2, " "} << false;
    QTest::newRow("每天") << TaskItem{"起床", "+07:30", 0, 1, "起床", {RepeatRule::Kind::Daily}} << true;
    QTest::newRow("法定工作日, done") << TaskItem{"打卡", "+08:55", 1, 1, "打卡", {RepeatRule::Kind::Workdays}} << false;
    QTest::newRow("自选 一三五日") << TaskItem{"跑步", "+06:00", 0, 2, "/m.mp3", {RepeatRule::Kind::Chosen, 0b1010101}} << true;
    QTest::newRow("循环") << TaskItem{"站起来", "-00:44:59", 0, 1, "x", {RepeatRule::Kind::Cycle, 0, 2700}} << true;
    QTest::newRow("awkward characters")
        << TaskItem{"\"引号\" \\ / \t\r\n 😀 \u00e9 \uffff {x}", "------", 2, 1, "  前后空格  \b\f"} << false;
    // clang-format on
}

void TestTaskStore::roundTrip()
{
    QFETCH(TaskItem, task);
    QFETCH(bool, withDue);
    const StoredTask stored{task, withDue ? SomeDue : QDateTime()};
    const QByteArray text = TaskStore::serialise({stored});
    const TaskStore::Parsed parsed = TaskStore::parse(text);
    QVERIFY2(parsed.ok, qPrintable(parsed.problem + u'\n' + QString::fromUtf8(text)));
    QCOMPARE(parsed.tasks.size(), 1);
    QCOMPARE(parsed.tasks.at(0).task, task);
    QCOMPARE(parsed.tasks.at(0).due, stored.due);
    QCOMPARE(text.contains("\"Due\""), withDue);
}

void TestTaskStore::wholeListRoundTripKeepsOrderOneTaskPerLine()
{
    QList<StoredTask> list;
    for (int i = 0; i < 30; ++i)
        list.append({{QStringLiteral("任务%1").arg(i),
                      i % 2 ? QStringLiteral("+07:%1").arg(i, 2, 10, QChar(u'0'))
                            : QStringLiteral("-00:%1:00").arg(i, 2, 10, QChar(u'0')),
                      0, i % 5, QString::number(i)},
                     i % 2 ? QDateTime() : SomeDue.addSecs(i)});
    const QByteArray text = TaskStore::serialise(list);
    const TaskStore::Parsed parsed = TaskStore::parse(text);
    QVERIFY2(parsed.ok, qPrintable(parsed.problem));
    QCOMPARE(parsed.tasks, list);

    // Readable as a list: the version first, then one line per task.
    const QList<QByteArray> lines = text.split('\n');
    QCOMPARE(lines.at(0), QByteArray("{"));
    QCOMPARE(lines.at(1), QByteArray("  \"Version\": 2,"));
    QCOMPARE(lines.at(2), QByteArray("  \"Tasks\": ["));
    for (int i = 0; i < 30; ++i) {
        QVERIFY(lines.at(3 + i).startsWith("    {\"TaskText\":"));
        QVERIFY(lines.at(3 + i).endsWith(i < 29 ? "}," : "}"));
    }
    QCOMPARE(lines.mid(33), (QList<QByteArray>{"  ]", "}", ""}));
    // Chinese and paths as a person writes them, control characters still escaped.
    QVERIFY2(lines.at(3).startsWith("    {\"TaskText\":\"任务0\""), lines.at(3).constData());
    const QList<StoredTask> awkward = {{{QStringLiteral("路径 /a/b\t\\u4E70 \u2028"),
                                         QStringLiteral("------"), 2, 4, QStringLiteral("C:\\x")},
                                        QDateTime()}};
    const QByteArray awkwardText = TaskStore::serialise(awkward);
    QVERIFY2(awkwardText.contains("\"路径 /a/b\\t\\\\u4E70 \\u2028\""), awkwardText.constData());
    QCOMPARE(TaskStore::parse(awkwardText).tasks, awkward);

    const QByteArray empty = TaskStore::serialise({});
    QCOMPARE(empty, QByteArray("{\n  \"Version\": 2,\n  \"Tasks\": []\n}\n"));
    const TaskStore::Parsed none = TaskStore::parse(empty);
    QVERIFY(none.ok);
    QVERIFY(none.tasks.isEmpty());
}

void TestTaskStore::handWrittenFileReads()
{
    // Edited by hand: raw characters instead of escapes, a byte-order mark, keys the reader does not
    // know (at the top and in records), a due moment without milliseconds or with an offset.
    const QByteArray text =
        "\xEF\xBB\xBF{\n"
        "  \"Comment\": \"my reminders\",\n"
        "  \"Version\": 1,\n"
        "  \"Tasks\": [\n"
        "    {\"TaskText\": \"开会\", \"TimeText\": \"-00:10:00\", \"Status\": 0,\n"
        "     \"ActionKind\": 1, \"ActionArg\": \"会议要开始了\", \"Due\": \"2024-03-05T01:10:00Z\",\n"
        "     \"Colour\": \"red\", \"Tags\": [1, {\"a\": null}]},\n"
        "    {\"TaskText\": \"午饭\", \"TimeText\": \"-00:20:00\", \"Status\": 0,\n"
        "     \"ActionKind\": 2, \"ActionArg\": \"/m.mp3\", \"Due\": \"2024-03-05T09:20:00+08:00\"},\n"
        "    {\"TaskText\": \"x\", \"TimeText\": \"------\", \"Status\": 2, \"ActionKind\": 4,\n"
        "     \"ActionArg\": \"ls\", \"Due\": \"left over, not read\"}\n"
        "  ],\n"
        "  \"Later\": true\n"
        "}\n";
    const TaskStore::Parsed parsed = TaskStore::parse(text);
    QVERIFY2(parsed.ok, qPrintable(parsed.problem));
    QCOMPARE(parsed.tasks.size(), 3);
    QCOMPARE(parsed.tasks.at(0).task, (TaskItem{QStringLiteral("开会"), QStringLiteral("-00:10:00"), 0, 1,
                                                QStringLiteral("会议要开始了")}));
    QCOMPARE(parsed.tasks.at(0).due, QDateTime(QDate(2024, 3, 5), QTime(1, 10, 0), Qt::UTC));
    QCOMPARE(parsed.tasks.at(1).due, QDateTime(QDate(2024, 3, 5), QTime(1, 20, 0), Qt::UTC));
    QCOMPARE(parsed.tasks.at(2).task.ActionArg, QStringLiteral("ls"));
    QVERIFY(!parsed.tasks.at(2).due.isValid());
}

void TestTaskStore::rejects_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("problem");
    const QByteArray head = "{\"Version\":1,\"Tasks\":[";
    const QByteArray good =
        "{\"TaskText\":\"a\",\"TimeText\":\"------\",\"Status\":2,\"ActionKind\":1,\"ActionArg\":\"a\"}";
    const auto record = [](const char* timeText, const char* status, const char* kind,
                           const char* extra = "") {
        return QByteArray("{\"TaskText\":\"a\",\"TimeText\":\"") + timeText + "\",\"Status\":" + status +
               ",\"ActionKind\":" + kind + ",\"ActionArg\":\"a\"" + extra + "}";
    };
    const auto file = [&](const QByteArray& records) { return head + records + "]}"; };
    // clang-format off
    QTest::newRow("empty file") << QByteArray() << "not JSON";
    QTest::newRow("cut short") << TaskStore::serialise({{{"a", "+07:30", 0, 1, "a"}, {}}}).left(40) << "not JSON";
    QTest::newRow("text") << QByteArray("Version 1") << "not JSON";
    QTest::newRow("not UTF-8") << QByteArray("{\"Version\":1,\"Tasks\":[],\"x\":\"\xC3\x28\"}") << "not UTF-8";
    QTest::newRow("a list at the top") << QByteArray("[1]") << "not a JSON object";
    QTest::newRow("no version") << QByteArray("{\"Tasks\":[]}") << "Version";
    QTest::newRow("newer version") << QByteArray("{\"Version\":3,\"Tasks\":[]}") << "Version";
    QTest::newRow("version 0") << QByteArray("{\"Version\":0,\"Tasks\":[]}") << "Version";
    QTest::newRow("Held not a boolean") << file(record("------", "2", "4", ",\"Held\":1")) << "Held";
    QTest::newRow("version as text") << QByteArray("{\"Version\":\"1\",\"Tasks\":[]}") << "Version";
    QTest::newRow("no tasks") << QByteArray("{\"Version\":1}") << "Tasks";
    QTest::newRow("tasks not a list") << QByteArray("{\"Version\":1,\"Tasks\":{}}") << "Tasks";
    QTest::newRow("record not an object") << file(good + ",3") << "task 2: not an object";
    QTest::newRow("no TaskText") << file("{\"TimeText\":\"------\",\"Status\":2,\"ActionKind\":1,\"ActionArg\":\"a\"}") << "task 1: TaskText";
    QTest::newRow("TaskText a number") << file("{\"TaskText\":5,\"TimeText\":\"------\",\"Status\":2,\"ActionKind\":1,\"ActionArg\":\"a\"}") << "TaskText";
    QTest::newRow("no ActionArg") << file("{\"TaskText\":\"a\",\"TimeText\":\"------\",\"Status\":2,\"ActionKind\":1}") << "ActionArg";
    QTest::newRow("hour 24") << file(record("-24:00:00", "0", "1")) << "TimeText \"-24:00:00\"";
    QTest::newRow("minute 60") << file(record("-00:60:00", "0", "1")) << "TimeText";
    QTest::newRow("second 60") << file(record("-00:00:60", "0", "1")) << "TimeText";
    QTest::newRow("countdown without seconds") << file(record("-00:05", "0", "1")) << "TimeText";
    QTest::newRow("clock time one digit") << file(record("+7:30", "0", "1")) << "TimeText";
    QTest::newRow("clock time 24:00") << file(record("+24:00", "0", "1")) << "TimeText";
    QTest::newRow("clock time with seconds") << file(record("+07:30:00", "0", "1")) << "TimeText";
    QTest::newRow("no timer with a space") << file(record("------ ", "2", "1")) << "TimeText";
    QTest::newRow("empty TimeText") << file(record("", "2", "1")) << "TimeText";
    QTest::newRow("status 3") << file(record("------", "3", "1")) << "Status";
    QTest::newRow("status -1") << file(record("------", "-1", "1")) << "Status";
    QTest::newRow("status 1.5") << file(record("------", "1.5", "1")) << "Status";
    QTest::newRow("status as text") << file(record("------", "\"2\"", "1")) << "Status";
    QTest::newRow("action kind 5") << file(record("------", "2", "5")) << "ActionKind";
    QTest::newRow("running without timer") << file(record("------", "0", "1")) << "running task without a timer";
    QTest::newRow("due not a moment") << file(record("-00:05:00", "0", "1", ",\"Due\":\"tomorrow\"")) << "Due";
    QTest::newRow("due a number") << file(record("-00:05:00", "0", "1", ",\"Due\":1709600000")) << "Due";
    QTest::newRow("duplicate key") << file(record("------", "2", "1", ",\"Status\":1")) << "not JSON";
    QTest::newRow("bad record after good ones") << file(good + "," + good + "," + record("+25:00", "0", "1")) << "task 3:";
    // clang-format on
}

void TestTaskStore::rejects()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, problem);
    const TaskStore::Parsed parsed = TaskStore::parse(text);
    QVERIFY(!parsed.ok);
    QVERIFY(parsed.tasks.isEmpty());
    QVERIFY2(parsed.problem.contains(problem), qPrintable(parsed.problem));
}

void TestTaskStore::missingFileGivesEmptyListAndNoProblem()
{
    QTemporaryDir dir;
    FakeClock clock;
    TaskStore store(dir.path(), clock, testKeyPath());
    QCOMPARE(store.filePath(), dir.filePath(QStringLiteral("Tasks.json")));
    const TaskStore::Loaded loaded = store.load();
    QVERIFY(loaded.tasks.isEmpty());
    QVERIFY(!loaded.unusable());
    QVERIFY(loaded.setAsidePath.isEmpty());
    QVERIFY(entriesIn(dir.path()).isEmpty());
}

void TestTaskStore::unusableFileIsSetAsideAndListStartsEmpty_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("not JSON") << "corrupt";
    QTest::newRow("record outside the forms") << "outside";
    QTest::newRow("too large") << "large";
    QTest::newRow("unreadable (a folder)") << "folder";
    // Neither may hang the start nor lead anywhere: both are moved aside as they are.
    QTest::newRow("a FIFO") << "fifo";
    QTest::newRow("a link to a good list") << "link";
}

void TestTaskStore::unusableFileIsSetAsideAndListStartsEmpty()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    FakeClock clock;
    clock.setNow(Start);
    TaskStore store(dir.path(), clock, testKeyPath());
    QByteArray bad;
    if (kind == u"corrupt")
        bad = "{\"Version\":1,\"Tasks\":[{\"TaskText\":\"泡面\",\"Time";
    else if (kind == u"outside")
        bad = TaskStore::serialise({{{"a", "-00:05:00", 0, 1, "a"}, SomeDue}})
                  .replace("-00:05:00", "-00:05:99");
    else if (kind == u"large")
        bad = TaskStore::serialise({{{QString(TaskStore::MaxFileBytes, u'x'), "------", 2, 1, "a"}, {}}});
    const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
    const QByteArray name = QFile::encodeName(store.filePath());
    if (kind == u"folder") {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Tasks.json")));
        QVERIFY(putFile(dir.filePath(QStringLiteral("Tasks.json/inside")), "kept"));
    } else if (kind == u"fifo") {
        QCOMPARE(::mkfifo(name.constData(), 0600), 0);
    } else if (kind == u"link") {
        bad = TaskStore::serialise({{{"a", "+07:30", 0, 4, "echo linked"}, {}}});
        QVERIFY(putFile(elsewhere, bad));
        QCOMPARE(::symlink("elsewhere", name.constData()), 0);
    } else {
        QVERIFY(putFile(store.filePath(), bad));
    }

    const TaskStore::Loaded loaded = store.load();
    QVERIFY(loaded.tasks.isEmpty());
    QVERIFY(loaded.unusable());
    const QString stamp = Start.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QCOMPARE(loaded.setAsidePath, dir.filePath(QStringLiteral("Tasks.json.bad-") + stamp));
    struct stat aside
    {
    };
    QCOMPARE(::lstat(QFile::encodeName(loaded.setAsidePath).constData(), &aside), 0);
    if (kind == u"link") {
        QVERIFY(S_ISLNK(aside.st_mode));
        QCOMPARE(readRaw(elsewhere), bad);
    } else {
        QCOMPARE(entriesIn(dir.path()), QStringList{QStringLiteral("Tasks.json.bad-") + stamp});
    }
    if (kind == u"folder")
        QCOMPARE(readRaw(loaded.setAsidePath + QStringLiteral("/inside")), QByteArray("kept"));
    else if (kind == u"fifo")
        QVERIFY(S_ISFIFO(aside.st_mode));
    else
        QCOMPARE(readRaw(loaded.setAsidePath), bad);
    QVERIFY(TaskStore::noticeMessage(loaded).contains(QStringLiteral("Tasks.json.bad-") + stamp));
    QVERIFY(!TaskStore::noticeTitle().isEmpty());

    // The next change writes a fresh file; the one set aside stays as it was.
    QList<StoredTask> list{{{"新", "+08:00", 0, 1, "新"}, {}}};
    const auto saved = store.save(list);
    QVERIFY2(saved.ok(), qPrintable(saved.describe()));
    QCOMPARE(TaskStore::parse(readRaw(store.filePath())).tasks, list);
    if (kind != u"folder" && kind != u"fifo")
        QCOMPARE(readRaw(loaded.setAsidePath), bad);
}

void TestTaskStore::setAsideNeverReplacesAnEarlierBadFile()
{
    QTemporaryDir dir;
    FakeClock clock;
    clock.setNow(Start);
    const QString stem = dir.filePath(QStringLiteral("Tasks.json.bad-")) +
                         Start.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QVERIFY(putFile(stem, "earlier"));
    QStringList expected{stem + QStringLiteral("-2"), stem + QStringLiteral("-3")};
    for (int round = 0; round < 2; ++round) {
        TaskStore store(dir.path(), clock, testKeyPath()); // a restart within the same second
        const QByteArray bad = "broken " + QByteArray::number(round);
        QVERIFY(putFile(store.filePath(), bad));
        const TaskStore::Loaded loaded = store.load();
        QCOMPARE(loaded.setAsidePath, expected.at(round));
        QCOMPARE(readRaw(loaded.setAsidePath), bad);
    }
    QCOMPARE(readRaw(stem), QByteArray("earlier"));
    QCOMPARE(entriesIn(dir.path()).size(), 3);
}

void TestTaskStore::fileThatCannotBeSetAsideIsNeverWritten()
{
    // The failure is injected by taking every name the file could be moved to.
    QTemporaryDir dir;
    FakeClock clock;
    clock.setNow(Start);
    const QString stem = dir.filePath(QStringLiteral("Tasks.json.bad-")) +
                         Start.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QVERIFY(putFile(stem, "taken"));
    for (int n = 2; n <= 100; ++n)
        QVERIFY(putFile(stem + u'-' + QString::number(n), "taken"));
    TaskStore store(dir.path(), clock, testKeyPath());
    QVERIFY(putFile(store.filePath(), "not a task list"));

    const TaskStore::Loaded loaded = store.load();
    QVERIFY(loaded.tasks.isEmpty());
    QVERIFY(loaded.unusable());
    QVERIFY(loaded.setAsidePath.isEmpty());
    QVERIFY(TaskStore::noticeMessage(loaded).contains(QStringLiteral("Tasks.json")));

    const auto saved = store.save({{{"新", "+08:00", 0, 1, "新"}, {}}});
    QVERIFY(!saved.ok());
    QCOMPARE(saved.step(), DurableFile::Step::Rename);
    QCOMPARE(saved.error(), EEXIST);
    QVERIFY(!store.removeFile());
    QCOMPARE(readRaw(store.filePath()), QByteArray("not a task list"));
    QCOMPARE(entriesIn(dir.path()).size(), 101);
}

void TestTaskStore::saveWritesPrivateFileAndRemoveFileRemovesIt()
{
    QTemporaryDir dir;
    FakeClock clock;
    TaskStore store(dir.path(), clock, testKeyPath());
    const QList<StoredTask> list{{{"a", "-00:05:00", 0, 1, "a"}, SomeDue}, {{"b", "------", 2, 4, "ls"}, {}}};
    const auto saved = store.save(list);
    QVERIFY2(saved.ok(), qPrintable(saved.describe()));
    QCOMPARE(TaskStore::parse(readRaw(store.filePath())).tasks, list);
    struct stat info
    {
    };
    QCOMPARE(::stat(QFile::encodeName(store.filePath()).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0600u);
    QCOMPARE(entriesIn(dir.path()), QStringList{QStringLiteral("Tasks.json")});

    QVERIFY(store.removeFile());
    QVERIFY(entriesIn(dir.path()).isEmpty());
    QVERIFY(store.removeFile()); // nothing left to remove is no failure

    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Tasks.json")));
    QVERIFY(!store.removeFile()); // a folder by that name is not ours to remove
}

void TestTaskStore::countdownClosedForTenMinutesResumes()
{
    QTemporaryDir dir;
    {
        Session first(dir.path(), Start);
        first.h.add(QStringLiteral("泡面"), QStringLiteral("-00:30:00"));
        // The list is written again later, while the countdown runs; its due moment stays put.
        for (int s = 0; s < 100; ++s)
            first.h.tickAfter();
        first.h.add(QStringLiteral("别的"), QStringLiteral("------"));
        QCOMPARE(first.h.entries.at(0), QStringLiteral("【-00:28:20】泡面"));
        QVERIFY2(first.saveFailures.isEmpty(), qPrintable(first.saveFailures.join(u'\n')));
    }
    // Started again ten minutes after the countdown was added.
    Session second(dir.path(), Start.addSecs(10 * 60));
    const TaskStore::Loaded loaded = second.store.load();
    QVERIFY2(!loaded.unusable(), qPrintable(loaded.problem));
    second.h.engine.restoreTasks(loaded.tasks);
    QCOMPARE(second.h.entries,
             (QStringList{QStringLiteral("【-00:20:00】泡面"), QStringLiteral("【待完成】别的")}));
    for (int s = 0; s < 20 * 60 - 1; ++s)
        second.h.tickAfter();
    QCOMPARE(second.h.entries.at(0), QStringLiteral("【-00:00:01】泡面"));
    QVERIFY(second.h.log.isEmpty());
    second.h.tickAfter();
    QCOMPARE(second.h.log, (QStringList{"fired 0", "action 0 泡面 countdown"}));
    QCOMPARE(second.h.entries.at(0), QStringLiteral("【已完成】泡面"));
    // What was kept after firing says done, so a third start does not fire it again.
    const TaskStore::Loaded third = second.store.load();
    QCOMPARE(third.tasks.at(0).task.Status, TaskStatus::Done);
    QVERIFY(!third.tasks.at(0).due.isValid());
}

void TestTaskStore::countdownClosedForFortyMinutesFiresAtFirstTick_data()
{
    // Ten minutes late: a reminder says when it was due; what would run something asks first.
    QTest::addColumn<int>("actionKind");
    QTest::addColumn<QString>("firstTick");
    QTest::newRow("message") << TaskAction::Message << "action 0 小憩 countdown late 03-05 09:30";
    QTest::newRow("music") << TaskAction::Music << "action 0 小憩 countdown late 03-05 09:30";
    QTest::newRow("open file") << TaskAction::OpenFile << "ask 0 小憩";
    QTest::newRow("command") << TaskAction::Command << "ask 0 小憩";
}

void TestTaskStore::countdownClosedForFortyMinutesFiresAtFirstTick()
{
    QFETCH(int, actionKind);
    QFETCH(QString, firstTick);
    QTemporaryDir dir;
    {
        Session first(dir.path(), Start);
        first.h.engine.addTask({QStringLiteral("小憩"), QStringLiteral("-00:30:00"), 0, actionKind, "x"});
    }
    Session second(dir.path(), Start.addSecs(40 * 60));
    second.h.engine.restoreTasks(second.store.load().tasks);
    QCOMPARE(second.h.entries, QStringList{QStringLiteral("【-**:**:**】小憩")});
    QVERIFY(second.h.log.isEmpty());
    second.h.tickAfter();
    QCOMPARE(second.h.log, (QStringList{"fired 0", firstTick}));
    for (int s = 0; s < 120; ++s)
        second.h.tickAfter();
    QCOMPARE(second.h.log.size(), 2);
}

void TestTaskStore::pastDuePowerTaskIsDoneAndItsCommandNeverStarts()
{
    QTemporaryDir dir;
    {
        Session first(dir.path(), Start);
        first.h.engine.addTask(
            {QStringLiteral("关机"), QStringLiteral("-00:30:00"), 0, TaskAction::Power, "0"});
        first.h.engine.addTask(
            {QStringLiteral("重启"), QStringLiteral("-01:00:00"), 0, TaskAction::Power, "2"});
    }
    Session second(dir.path(), Start.addSecs(40 * 60));
    RecordingLauncher launcher;
    second.h.engine.performAction = [&launcher](int index, const TaskItem& task, bool countdown,
                                                const QDateTime&) {
        ActionContext context{launcher};
        PerformAction(task, index, countdown, context);
    };
    second.h.engine.restoreTasks(second.store.load().tasks);
    QCOMPARE(second.h.entries,
             (QStringList{QStringLiteral("【已完成】关机"), QStringLiteral("【-00:20:00】重启")}));
    for (int s = 0; s < 20 * 60 - 1; ++s)
        second.h.tickAfter();
    QVERIFY(launcher.launches.isEmpty());
    // The restart still ahead does run when it falls due: the launcher is wired, and is called once.
    second.h.tickAfter();
    QCOMPARE(launcher.launches.size(), 1);
    const auto restart = powerCommand(QStringLiteral("2"), true);
    QVERIFY(restart);
    QCOMPARE(launcher.launches.at(0).program, restart->program);
    QCOMPARE(launcher.launches.at(0).arguments, restart->arguments);
    QCOMPARE(second.h.engine.task(0).Status, TaskStatus::Done);
    QCOMPARE(second.store.load().tasks.at(0).task.Status, TaskStatus::Done);
}

void TestTaskStore::otherTasksComeBackAsTheyWere()
{
    QTemporaryDir dir;
    QStringList before;
    QList<TaskItem> items;
    {
        Session first(dir.path(), Start);
        first.h.add(QStringLiteral("闹钟"), QStringLiteral("+07:30"));
        first.h.add(QStringLiteral("没有计时"), QStringLiteral("------"));
        first.h.add(QStringLiteral("做完了"), QStringLiteral("-00:05:00"));
        first.h.add(QStringLiteral("停下的"), QStringLiteral("-00:05:00"));
        first.h.add(QStringLiteral("午夜"), QStringLiteral("+00:00"));
        for (int s = 0; s < 48; ++s)
            first.h.tickAfter();
        first.h.engine.ToggleTaskDone(2);
        first.h.engine.ToggleTaskDone(3);
        first.h.engine.ToggleTaskDone(3);
        before = first.h.entries;
        items = first.h.engine.TaskItems();
        QCOMPARE(before.at(3), QStringLiteral("【待完成】停下的"));
        QCOMPARE(items.at(3).TimeText, QStringLiteral("-00:04:12"));
    }
    Session second(dir.path(), Start.addSecs(3 * 3600));
    second.h.engine.restoreTasks(second.store.load().tasks);
    QCOMPARE(second.h.entries, before);
    QCOMPARE(second.h.engine.TaskItems(), items);
}

void TestTaskStore::onlyASignatureOfOursArmsWhatRunsSomething_data()
{
    QTest::addColumn<QString>("how");
    // One letter per task of the list below: h held, - armed.
    QTest::addColumn<QString>("held");
    QTest::addColumn<bool>("keyProblem");
    QTest::newRow("signed here") << "signed"
                                 << "-----h" << false;
    QTest::newRow("version 1, never signed") << "version 1"
                                             << "-hhh-h" << false;
    QTest::newRow("version 2 without signature") << "unsigned"
                                                 << "-hhh-h" << false;
    QTest::newRow("signed under another key") << "other key"
                                              << "-hhh-h" << false;
    QTest::newRow("one byte of a command changed") << "tampered"
                                                   << "-hhh-h" << false;
    QTest::newRow("hold taken out by hand") << "unheld"
                                            << "-hhh-h" << false;
    QTest::newRow("key gone") << "no key"
                              << "-hhh-h" << false;
    QTest::newRow("key readable by others") << "open key"
                                            << "-hhh-h" << true;
    // Signed here, but a newer list was written since: a backup or a sync tool put the older back.
    QTest::newRow("an older list of ours put back") << "replayed"
                                                    << "-hhh-h" << false;
}

void TestTaskStore::onlyASignatureOfOursArmsWhatRunsSomething()
{
    QFETCH(QString, how);
    QFETCH(QString, held);
    QFETCH(bool, keyProblem);
    // clang-format off
    const QList<StoredTask> list = {
        {{"消息", "-00:10:00", 0, TaskAction::Message, "message"}, SomeDue},
        {{"命令", "-00:00:02", 0, TaskAction::Command, "echo planted"}, SomeDue},
        {{"文件", "+10:00", 0, TaskAction::OpenFile, "/tmp/planted.sh"}, {}},
        {{"关机", "-00:00:03", 0, TaskAction::Power, "0"}, SomeDue},
        {{"做完的命令", "-**:**:**", 1, TaskAction::Command, "echo done"}, {}},
        {{"留着的", "-00:05:00", 0, TaskAction::Command, "echo held"}, SomeDue, true},
    };
    // clang-format on
    QTemporaryDir dir;
    QTemporaryDir config;
    const QString keyPath = config.filePath(QStringLiteral("VemraNotes/tasks.key"));
    FakeClock clock;
    TaskStore writer(dir.path(), clock, keyPath);
    QVERIFY(writer.save(list).ok());
    QByteArray text = readRaw(writer.filePath());
    QVERIFY(text.contains("\"Signature\": \""));
    QByteArray otherKey(UserKey::Bytes, 'x');
    if (how == u"version 1")
        text = TaskStore::serialise(list).replace("\"Version\": 2", "\"Version\": 1");
    else if (how == u"unsigned")
        text = TaskStore::serialise(list);
    else if (how == u"other key")
        text = TaskStore::sign(TaskStore::serialise(list), otherKey);
    else if (how == u"tampered")
        text.replace("echo planted", "echo plantee");
    else if (how == u"unheld")
        text.replace(",\"Held\":true", "");
    else if (how == u"no key")
        QVERIFY(QFile::remove(keyPath));
    else if (how == u"open key")
        QVERIFY(QFile::setPermissions(keyPath, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    else if (how == u"replayed")
        QVERIFY(writer.save(list.mid(0, 1)).ok());
    QVERIFY(putFile(writer.filePath(), text));

    TaskStore reader(dir.path(), clock, keyPath);
    const TaskStore::Loaded loaded = reader.load();
    QVERIFY2(!loaded.unusable(), qPrintable(loaded.problem));
    QString heldNow;
    for (const StoredTask& stored : loaded.tasks)
        heldNow += stored.held ? u'h' : u'-';
    QCOMPARE(heldNow, held);
    QCOMPARE(!loaded.keyProblem.isEmpty(), keyProblem);
    QCOMPARE(loaded.notLastWritten, how == u"replayed");
    const QString question = TaskStore::heldQuestion(loaded);
    QVERIFY(question.contains(QStringLiteral("【留着的】运行命令 echo held")));
    QCOMPARE(question.contains(QStringLiteral("echo plante")), held.at(1) == u'h');
    QCOMPARE(question.contains(QStringLiteral("【关机】关机电脑")), held.at(3) == u'h');
    QVERIFY(!question.contains(QStringLiteral("echo done")));
    QCOMPARE(question.contains(keyPath), keyProblem);
}

void TestTaskStore::aHeldTaskStaysHeldAcrossSavesUntilArmed()
{
    QTemporaryDir dir;
    // Planted: a command a day overdue, and one due in five seconds whose line break hides its tail.
    const QByteArray planted = "{\"Version\":1,\"Tasks\":["
                               "{\"TaskText\":\"a\",\"TimeText\":\"-00:00:01\",\"Status\":0,\"ActionKind\":4,"
                               "\"ActionArg\":\"echo a\","
                               "\"Due\":\"2024-03-04T08:00:00Z\"},"
                               "{\"TaskText\":\"b\",\"TimeText\":\"-00:00:05\",\"Status\":0,\"ActionKind\":4,"
                               "\"ActionArg\":\"ls\\nrm x\"}]}";
    QVERIFY(putFile(dir.filePath(QStringLiteral("Tasks.json")), planted));
    const QStringList heldEntries = {QStringLiteral("【未启用】a"), QStringLiteral("【未启用】b")};
    for (int start = 0; start < 2; ++start) {
        // Each start keeps the list at once (the restore is a change), signed: the holds go with it.
        Session session(dir.path(), Start.addSecs(start * 60));
        const TaskStore::Loaded loaded = session.store.load();
        QCOMPARE(loaded.heldCount(), 2);
        QVERIFY(TaskStore::heldQuestion(loaded).contains(QStringLiteral("【b】运行命令 ls\\u000arm x")));
        session.h.engine.restoreTasks(loaded.tasks);
        QCOMPARE(session.h.entries, heldEntries);
        for (int s = 0; s < 10; ++s)
            session.h.tickAfter();
        QCOMPARE(session.h.log, QStringList());
        QCOMPARE(session.h.entries, heldEntries);
        QVERIFY(session.saveFailures.isEmpty());
        QVERIFY(readRaw(session.store.filePath()).contains("\"Signature\""));
    }
    // Armed by the user: the overdue one falls due at the next tick, a day late, so it asks before
    // it runs; the other comes five seconds later, and what is kept from then on is armed.
    Session session(dir.path(), Start.addSecs(120));
    session.h.engine.restoreTasks(session.store.load().tasks);
    session.h.engine.armHeldTasks();
    QCOMPARE(session.h.entries,
             (QStringList{QStringLiteral("【-**:**:**】a"), QStringLiteral("【-00:00:05】b")}));
    session.h.tickAfter();
    QCOMPARE(session.h.log, (QStringList{"fired 0", "ask 0 a"}));
    TaskStore again(dir.path(), session.h.clock, testKeyPath());
    const TaskStore::Loaded armed = again.load();
    QCOMPARE(armed.heldCount(), 0);
    QCOMPARE(armed.tasks.at(1).task.TimeText, QStringLiteral("-00:00:04"));
}

void TestTaskStore::aRuleNotKnownHoldsItsTaskAndIsKept_data()
{
    QTest::addColumn<QByteArray>("repeat");
    QTest::addColumn<QByteArray>("timeText");
    QTest::newRow("a later rule") << QByteArray("\"monthly:15\"") << QByteArray("+07:30");
    QTest::newRow("a rule as an object") << QByteArray("{\"every\":[2,\"weeks\"]}") << QByteArray("+07:30");
    QTest::newRow("weekday 8") << QByteArray("\"days:18\"") << QByteArray("+07:30");
    QTest::newRow("no weekday") << QByteArray("\"days:\"") << QByteArray("+07:30");
    QTest::newRow("a cycle of a clock time") << QByteArray("\"cycle:60\"") << QByteArray("+07:30");
    QTest::newRow("每天 of a countdown") << QByteArray("\"daily\"") << QByteArray("-00:05:00");
    QTest::newRow("cycle of a day") << QByteArray("\"cycle:86400\"") << QByteArray("-00:05:00");
}

void TestTaskStore::aRuleNotKnownHoldsItsTaskAndIsKept()
{
    QFETCH(QByteArray, repeat);
    QFETCH(QByteArray, timeText);
    const QByteArray record = "{\"TaskText\":\"t\",\"TimeText\":\"" + timeText +
                              "\",\"Status\":0,\"ActionKind\":1,\"ActionArg\":\"t\",\"Repeat\":" + repeat +
                              "}";
    const QByteArray text = "{\"Version\":2,\"Tasks\":[" + record +
                            ",{\"TaskText\":\"u\",\"TimeText\":\"-00:01:00\",\"Status\":0,\"ActionKind\":1,"
                            "\"ActionArg\":\"u\"}]}";
    const TaskStore::Parsed parsed = TaskStore::parse(text);
    QVERIFY2(parsed.ok, qPrintable(parsed.problem));
    QCOMPARE(parsed.tasks.at(0).task.Repeat.kind, RepeatRule::Kind::Unknown);
    QCOMPARE(parsed.tasks.at(1).task.Repeat, RepeatRule{});
    TaskHarness h;
    h.clock.setNow(QDateTime(QDate(2026, 3, 9), QTime(7, 29)));
    h.engine.restoreTasks(parsed.tasks);
    QCOMPARE(h.entries, (QStringList{QStringLiteral("【未启用】t"), QStringLiteral("【-00:01:00】u")}));
    h.engine.armHeldTasks();
    for (int s = 0; s < 120; ++s)
        h.tickAfter();
    // The other task runs; this one never does, and a save writes its rule back as it came.
    QCOMPARE(h.log, (QStringList{"fired 1", "action 1 u countdown"}));
    QVERIFY(h.engine.isHeld(0));
    QVERIFY(TaskStore::serialise(h.engine.storedTasks()).contains("\"Repeat\":" + repeat));
}

QTEST_GUILESS_MAIN(TestTaskStore)
#include "tst_taskstore.moc"
