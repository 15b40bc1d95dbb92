// SPDX-License-Identifier: GPL-3.0-or-later
#include "IconvConverter.h"
#include "text/GbkCodec.h"

#include <QFile>
#include <QtTest>

#include <cstring>
#include <vector>

// The codec's tables are written by the build from glibc's converter. These cases hold every entry of
// them against the converter itself, so a generator that drops, shifts or misreads codes is caught.

namespace {

// One unit through the converter, as bytes; empty when it has no mapping for it.
QByteArray convert(IconvConverter& converter, QByteArrayView in)
{
    const std::vector<std::uint8_t> out = converter.convert(in.data(), size_t(in.size()));
    return QByteArray(reinterpret_cast<const char*>(out.data()), qsizetype(out.size()));
}

// What the converter makes of one GBK byte or byte pair, as one UTF-16 unit (0: no single unit).
char16_t decodedUnit(IconvConverter& decoder, QByteArrayView bytes)
{
    const QByteArray out = convert(decoder, bytes);
    if (out.size() != 2)
        return 0;
    return char16_t(quint8(out[0]) | quint8(out[1]) << 8);
}

// A byte the codec reads on its own: ASCII as is, else the converter's unit, else U+FFFD.
QChar singleByte(IconvConverter& decoder, quint8 b)
{
    if (b < 0x80)
        return QChar(b);
    const char c = char(b);
    const char16_t u = decodedUnit(decoder, QByteArrayView(&c, 1));
    return QChar(u != 0 ? u : char16_t(0xFFFD));
}

bool gbkModuleMapped()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return false;
    return maps.readAll().contains("/GBK.so");
}

} // namespace

class TestGbkTable : public QObject
{
    Q_OBJECT
private slots:
    void codecRunsWithoutTheConverter();
    void everyCharacterEncodesAsTheConverterSays();
    void everySingleByteDecodesAsTheConverterSays();
    void everyBytePairDecodesAsTheConverterSays();
};

// Runs first, before any case below opens the converter: a codec that still converted at run time
// would have loaded glibc's GBK module into the process by the end of it.
void TestGbkTable::codecRunsWithoutTheConverter()
{
    QVERIFY(!gbkModuleMapped());
    const QString text = QStringLiteral("便笺 Notes，Ｗ１２３€");
    QCOMPARE(decodeGbk(encodeGbk(text)), text);
    QVERIFY(isDoubleByteAnsi(QChar(u'便')));
    QCOMPARE(gbkCode(QChar(u'中')), quint16(0xD6D0));
    QVERIFY(!gbkModuleMapped());

    // The check above means something only if opening the converter does map the module.
    IconvConverter probe("UTF-16LE", "GBK");
    QVERIFY(probe.valid());
    QVERIFY(gbkModuleMapped());
}

void TestGbkTable::everyCharacterEncodesAsTheConverterSays()
{
    IconvConverter encoder("GBK", "UTF-16LE");
    QVERIFY(encoder.valid());
    int doubles = 0;
    int mismatches = 0;
    QStringList firstMismatches;
    for (int c = 1; c < 0x10000; ++c) {
        const QChar unit{char16_t(c)};
        quint16 expected = 0;
        if (c < 0x80) {
            expected = quint16(c);
        } else if (!unit.isSurrogate()) {
            const char in[2] = {char(c & 0xFF), char(c >> 8)};
            const QByteArray out = convert(encoder, QByteArrayView(in, 2));
            if (out.size() == 1)
                expected = quint8(out[0]);
            else if (out.size() == 2)
                expected = quint16(quint8(out[0]) << 8 | quint8(out[1]));
        }
        QByteArray expectedBytes;
        if (expected > 0xFF)
            expectedBytes.append(char(expected >> 8));
        expectedBytes.append(expected == 0 ? '?' : char(expected & 0xFF));

        const bool same = gbkCode(unit) == expected && isDoubleByteAnsi(unit) == (expected > 0xFF) &&
                          encodeGbk(QStringView(&unit, 1)) == expectedBytes;
        doubles += expected > 0xFF;
        if (!same && ++mismatches <= 10)
            firstMismatches.append(QStringLiteral("U+%1: table %2, converter %3")
                                       .arg(c, 4, 16, QLatin1Char('0'))
                                       .arg(gbkCode(unit), 0, 16)
                                       .arg(expected, 0, 16));
    }
    QVERIFY2(mismatches == 0, qPrintable(QStringLiteral("%1 mismatches, first: %2")
                                             .arg(mismatches)
                                             .arg(firstMismatches.join(QStringLiteral("; ")))));
    // The converter itself must know GBK, or the comparison above proves nothing.
    QVERIFY2(doubles > 20000, qPrintable(QString::number(doubles)));
}

void TestGbkTable::everySingleByteDecodesAsTheConverterSays()
{
    IconvConverter decoder("UTF-16LE", "GBK");
    QVERIFY(decoder.valid());
    for (int b = 1; b < 0x100; ++b) {
        const char byte = char(b);
        QCOMPARE(decodeGbk(QByteArrayView(&byte, 1)), QString(singleByte(decoder, quint8(b))));
    }
}

// A pair the converter maps is one character; any other pair is its lead byte read alone followed by
// the trail byte read alone.
void TestGbkTable::everyBytePairDecodesAsTheConverterSays()
{
    IconvConverter decoder("UTF-16LE", "GBK");
    QVERIFY(decoder.valid());
    int pairs = 0;
    int mismatches = 0;
    QStringList firstMismatches;
    for (int lead = 0x80; lead < 0x100; ++lead) {
        for (int trail = 0x30; trail < 0x100; ++trail) {
            const char in[2] = {char(lead), char(trail)};
            const char16_t unit = decodedUnit(decoder, QByteArrayView(in, 2));
            const QString expected =
                unit != 0 ? QString(QChar(unit))
                          : QString(singleByte(decoder, quint8(lead))) + singleByte(decoder, quint8(trail));
            pairs += unit != 0;
            const QString actual = decodeGbk(QByteArrayView(in, 2));
            if (actual != expected && ++mismatches <= 10)
                firstMismatches.append(QStringLiteral("%1 %2").arg(lead, 0, 16).arg(trail, 0, 16));
        }
    }
    QVERIFY2(mismatches == 0, qPrintable(QStringLiteral("%1 mismatches, first: %2")
                                             .arg(mismatches)
                                             .arg(firstMismatches.join(QStringLiteral("; ")))));
    QVERIFY2(pairs > 20000, qPrintable(QString::number(pairs)));
}

QTEST_GUILESS_MAIN(TestGbkTable)
#include "tst_gbktable.moc"
