// SPDX-License-Identifier: GPL-3.0-or-later
#include "../../tools/AlarmSynth.h"
#include "platform/DesktopEntry.h"

#include <QTest>

#include <cstring>

namespace {

quint32 le32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return quint32(b[at]) | quint32(b[at + 1]) << 8 | quint32(b[at + 2]) << 16 | quint32(b[at + 3]) << 24;
}

quint16 le16(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return quint16(b[at] | b[at + 1] << 8);
}

bool tagAt(const std::vector<std::uint8_t>& b, std::size_t at, const char* tag)
{
    return b.size() >= at + 4 && std::memcmp(b.data() + at, tag, 4) == 0;
}

} // namespace

/// The generated assets: the alarm chime and the desktop entry of the build.
class TestAssets : public QObject
{
    Q_OBJECT

private slots:
    void alarmIsRiffWave();
    void alarmSoundsLikeAChime();
    void execArgumentQuoting_data();
    void execArgumentQuoting();
    void desktopEntryContents();
};

void TestAssets::alarmIsRiffWave()
{
    const std::vector<std::uint8_t> wav = AlarmSynth::wavFile();
    QVERIFY(wav.size() > 44);
    QVERIFY(tagAt(wav, 0, "RIFF"));
    QCOMPARE(le32(wav, 4), quint32(wav.size() - 8));
    QVERIFY(tagAt(wav, 8, "WAVE"));
    QVERIFY(tagAt(wav, 12, "fmt "));
    QCOMPARE(le32(wav, 16), 16u);
    QCOMPARE(le16(wav, 20), quint16(1)); // PCM
    QCOMPARE(le16(wav, 22), quint16(1)); // mono
    QCOMPARE(le32(wav, 24), 44100u);
    QCOMPARE(le32(wav, 28), 44100u * 2); // bytes per second
    QCOMPARE(le16(wav, 32), quint16(2)); // block align
    QCOMPARE(le16(wav, 34), quint16(16));
    QVERIFY(tagAt(wav, 36, "data"));
    const quint32 dataBytes = le32(wav, 40);
    QCOMPARE(quint64(dataBytes), quint64(wav.size() - 44));
    const double seconds = dataBytes / 2.0 / 44100.0;
    QVERIFY2(seconds >= 1.0 && seconds <= 2.0, qPrintable(QString::number(seconds)));
}

void TestAssets::alarmSoundsLikeAChime()
{
    const std::vector<std::int16_t> pcm = AlarmSynth::samples();
    QVERIFY(!pcm.empty());
    int peak = 0;
    for (std::int16_t s : pcm)
        peak = std::max(peak, std::abs(int(s)));
    // Audible but with headroom: no clipping.
    QVERIFY2(peak > 8000 && peak < 32000, qPrintable(QString::number(peak)));
    // No click at either end: it starts from silence and fades out to it.
    QVERIFY(std::abs(int(pcm.front())) < 100);
    QVERIFY(std::abs(int(pcm.back())) < 100);
    // It decays: the last tenth is much quieter than the first strike.
    const std::size_t tenth = pcm.size() / 10;
    int tailPeak = 0;
    for (std::size_t i = pcm.size() - tenth; i < pcm.size(); ++i)
        tailPeak = std::max(tailPeak, std::abs(int(pcm[i])));
    QVERIFY2(tailPeak < peak / 4, qPrintable(QString::number(tailPeak)));
    // The same every time, so rebuilding does not change the file.
    QVERIFY(AlarmSynth::samples() == pcm);
}

void TestAssets::execArgumentQuoting_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("written");
    QTest::newRow("plain") << "/opt/vemra/VemraNotes"
                           << R"("/opt/vemra/VemraNotes")";
    QTest::newRow("space") << "/home/u/my apps/VemraNotes"
                           << R"("/home/u/my apps/VemraNotes")";
    QTest::newRow("Chinese") << "/home/u/便笺/VemraNotes"
                             << R"("/home/u/便笺/VemraNotes")";
    QTest::newRow("dollar and backtick") << "/a$b`c/x"
                                         << R"("/a\\$b\\`c/x")";
    QTest::newRow("double quote") << "/a\"b/x"
                                  << R"("/a\\"b/x")";
    QTest::newRow("backslash") << "/a\\b/x"
                               << R"("/a\\\\b/x")";
    QTest::newRow("percent") << "/100%/x"
                             << R"("/100%%/x")";
}

void TestAssets::execArgumentQuoting()
{
    QFETCH(QString, path);
    QFETCH(QString, written);
    QCOMPARE(QString::fromStdString(DesktopEntry::quoteExecArgument(path.toStdString())), written);
}

void TestAssets::desktopEntryContents()
{
    const QString text = QString::fromStdString(
        DesktopEntry::contents("/srv/build dir/VemraNotes", "/srv/build dir/VemraNotes.png"));
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.first(), QStringLiteral("[Desktop Entry]"));
    QVERIFY(lines.contains(QStringLiteral("Type=Application")));
    QVERIFY(lines.contains(QStringLiteral("Name=Vemra便笺")));
    QVERIFY(lines.contains(QStringLiteral("Exec=\"/srv/build dir/VemraNotes\"")));
    QVERIFY(lines.contains(QStringLiteral("Icon=/srv/build dir/VemraNotes.png")));
    // The launcher's menu: each action starts the same executable with its option.
    QVERIFY(lines.contains(QStringLiteral("Actions=new-note;todo;search;")));
    const qsizetype todo = lines.indexOf(QStringLiteral("[Desktop Action todo]"));
    QVERIFY(todo > 0);
    QCOMPARE(lines.mid(todo + 1, 2),
             (QStringList{QStringLiteral("Name=待办"),
                          QStringLiteral("Exec=\"/srv/build dir/VemraNotes\" --todo")}));
    // A leading blank of a string value must be escaped, inner ones not.
    QCOMPARE(QString::fromStdString(DesktopEntry::escapeString(" a b")), QStringLiteral("\\sa b"));
}

QTEST_GUILESS_MAIN(TestAssets)
#include "tst_assets.moc"
