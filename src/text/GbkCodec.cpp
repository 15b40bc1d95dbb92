// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/GbkCodec.h"

#include "text/GbkTables.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

quint16 codeOf(char16_t unit)
{
    return GbkTables::encodePages[GbkTables::encodePageOf[unit >> 8]][unit & 0xFF];
}

} // namespace

bool isDoubleByteAnsi(QChar c)
{
    const char16_t unit = c.unicode();
    return (GbkTables::doubleByte[unit >> 5] >> (unit & 31)) & 1;
}

quint16 gbkCode(QChar c)
{
    return codeOf(c.unicode());
}

QString decodeGbk(QByteArrayView bytes)
{
    using namespace GbkTables;
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    char16_t* const begin = out;
    const auto* in = reinterpret_cast<const quint8*>(bytes.data());
    const auto* const end = in + bytes.size();
    while (in < end) {
        const quint8 b = *in;
        if (b < 0x80) {
            *out++ = b;
            ++in;
            continue;
        }
        if (b >= kLeadFirst && b <= kLeadLast && end - in >= 2 && in[1] >= kTrailFirst &&
            in[1] <= kTrailLast) {
            const char16_t u = decodePair[(b - kLeadFirst) * kTrailCount + (in[1] - kTrailFirst)];
            if (u != 0) {
                *out++ = u;
                in += 2;
                continue;
            }
        }
        // Only the first byte is given up, so an ASCII byte after a broken lead byte survives.
        const char16_t u = decodeSingle[b];
        *out++ = u != 0 ? u : kReplacement;
        ++in;
    }
    text.truncate(out - begin);
    return text;
}

QByteArray encodeGbk(QStringView text)
{
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const quint16 code = codeOf(c.unicode());
        if (code > 0xFF) {
            bytes.append(char(code >> 8));
            bytes.append(char(code & 0xFF));
        } else if (code != 0 || c.unicode() == 0) {
            bytes.append(char(code));
        } else {
            // One question mark per character: a surrogate pair is one character.
            if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                ++i;
            bytes.append('?');
        }
    }
    return bytes;
}
