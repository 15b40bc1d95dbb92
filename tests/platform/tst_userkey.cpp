// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/UserKey.h"
#include "support/FolderFiles.h"
#include "support/Unprivileged.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct stat statOf(const QString& path)
{
    struct stat info
    {
    };
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info;
}

// Sets an environment variable for the life of the object, or removes it for a null value.
class Env
{
public:
    Env(const char* name, const QByteArray& value)
        : m_name(name), m_old(qgetenv(name)), m_had(qEnvironmentVariableIsSet(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~Env()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    QByteArray m_old;
    bool m_had;
};

} // namespace

class TestUserKey : public QObject
{
    Q_OBJECT
private slots:
    void defaultPath_data();
    void defaultPath();
    void whatIsAtThePlaceDecides_data();
    void whatIsAtThePlaceDecides();
    void obtainCreatesAPrivateKeyOnce();
    void racingCreatorsEndWithOneKey();
};

void TestUserKey::defaultPath_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QByteArray>("home");
    QTest::addColumn<QString>("expected");
    const QByteArray unset;
    QTest::newRow("XDG_CONFIG_HOME") << QByteArray("/c/fg/") << QByteArray("/h")
                                     << "/c/fg/VemraNotes/tasks.key";
    QTest::newRow("relative XDG_CONFIG_HOME is ignored")
        << QByteArray("cfg") << QByteArray("/h") << "/h/.config/VemraNotes/tasks.key";
    QTest::newRow("empty XDG_CONFIG_HOME")
        << QByteArray("") << QByteArray("/h") << "/h/.config/VemraNotes/tasks.key";
    QTest::newRow("no XDG_CONFIG_HOME") << unset << QByteArray("/h") << "/h/.config/VemraNotes/tasks.key";
    QTest::newRow("neither") << unset << unset << "";
    QTest::newRow("relative HOME") << unset << QByteArray("h") << "";
}

void TestUserKey::defaultPath()
{
    QFETCH(QByteArray, config);
    QFETCH(QByteArray, home);
    QFETCH(QString, expected);
    const Env c("XDG_CONFIG_HOME", config);
    const Env h("HOME", home);
    QCOMPARE(UserKey::defaultPath(), expected);
}

void TestUserKey::whatIsAtThePlaceDecides_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<int>("status");
    using S = UserKey::Result::Status;
    QTest::newRow("a key of ours") << "good" << int(S::Ok);
    QTest::newRow("nothing") << "missing" << int(S::Missing);
    QTest::newRow("no place given") << "no place" << int(S::Missing);
    QTest::newRow("a link to a good key") << "link" << int(S::Untrusted);
    QTest::newRow("a FIFO") << "fifo" << int(S::Untrusted);
    QTest::newRow("a folder") << "folder" << int(S::Untrusted);
    QTest::newRow("readable by others (0644)") << "0644" << int(S::Untrusted);
    QTest::newRow("read-only (0400)") << "0400" << int(S::Untrusted);
    QTest::newRow("one byte short") << "short" << int(S::Untrusted);
    QTest::newRow("one byte long") << "long" << int(S::Untrusted);
    QTest::newRow("another user's") << "other user" << int(S::Untrusted);
}

void TestUserKey::whatIsAtThePlaceDecides()
{
    QFETCH(QString, situation);
    QFETCH(int, status);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tasks.key"));
    const QByteArray name = QFile::encodeName(path);
    const QByteArray good(UserKey::Bytes, 'k');
    const auto put = [&](const QString& at, const QByteArray& bytes, mode_t mode) {
        QVERIFY(putFile(at, bytes));
        QCOMPARE(::chmod(QFile::encodeName(at).constData(), mode), 0);
    };
    if (situation == u"good" || situation == u"other user")
        put(path, good, 0600);
    else if (situation == u"link") {
        put(dir.filePath(QStringLiteral("elsewhere")), good, 0600);
        QCOMPARE(::symlink("elsewhere", name.constData()), 0);
    } else if (situation == u"fifo")
        QCOMPARE(::mkfifo(name.constData(), 0600), 0);
    else if (situation == u"folder")
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("tasks.key")));
    else if (situation == u"0644")
        put(path, good, 0644);
    else if (situation == u"0400")
        put(path, good, 0400);
    else if (situation == u"short")
        put(path, good.left(UserKey::Bytes - 1), 0600);
    else if (situation == u"long")
        put(path, good + 'k', 0600);
    if (situation == u"other user") {
        if (::geteuid() != 0)
            QSKIP("only root can give a file to another user");
        QCOMPARE(::chown(name.constData(), unprivilegedUid(), unprivilegedGid()), 0);
    }

    const UserKey::Result result = UserKey::read(situation == u"no place" ? QString() : path);
    QCOMPARE(int(result.status()), status);
    QCOMPARE(result.key(), status == int(UserKey::Result::Status::Ok) ? good : QByteArray());
    QCOMPARE(result.problem().isEmpty(), result.ok());
    if (situation == u"missing" || situation == u"good")
        return;
    // What is there is neither used nor replaced by a new key.
    const struct stat before = statOf(path);
    const UserKey::Result again = UserKey::obtain(situation == u"no place" ? QString() : path);
    QCOMPARE(int(again.status()), status);
    const struct stat after = statOf(path);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_size, before.st_size);
}

void TestUserKey::obtainCreatesAPrivateKeyOnce()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("config/VemraNotes/tasks.key"));
    const UserKey::Result made = UserKey::obtain(path);
    QVERIFY2(made.ok(), qPrintable(made.problem()));
    QCOMPARE(made.key().size(), UserKey::Bytes);
    QVERIFY(made.key() != QByteArray(UserKey::Bytes, '\0'));
    QCOMPARE(statOf(path).st_mode & 07777, 0600u);
    QCOMPARE(statOf(dir.filePath(QStringLiteral("config/VemraNotes"))).st_mode & 07777, 0700u);
    QCOMPARE(entriesIn(dir.filePath(QStringLiteral("config/VemraNotes"))), QStringList{"tasks.key"});
    QCOMPARE(UserKey::obtain(path).key(), made.key());
    QCOMPARE(UserKey::read(path).key(), made.key());
    // Another place, another key.
    QVERIFY(UserKey::obtain(dir.filePath(QStringLiteral("other.key"))).key() != made.key());
}

void TestUserKey::racingCreatorsEndWithOneKey()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("VemraNotes/tasks.key"));
    constexpr int Racers = 8;
    std::vector<QByteArray> keys(Racers);
    std::atomic<int> ready{0};
    std::vector<std::thread> racers;
    for (int i = 0; i < Racers; ++i) {
        racers.emplace_back([&, i] {
            ++ready;
            while (ready.load() < Racers) {
            }
            keys[i] = UserKey::obtain(path).key();
        });
    }
    for (std::thread& racer : racers)
        racer.join();
    QCOMPARE(keys.at(0).size(), UserKey::Bytes);
    for (const QByteArray& key : keys)
        QCOMPARE(key, keys.at(0));
    QCOMPARE(UserKey::read(path).key(), keys.at(0));
    QCOMPARE(entriesIn(dir.filePath(QStringLiteral("VemraNotes"))), QStringList{"tasks.key"});
}

QTEST_GUILESS_MAIN(TestUserKey)
#include "tst_userkey.moc"
