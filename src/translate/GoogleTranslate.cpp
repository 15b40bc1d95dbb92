// SPDX-License-Identifier: GPL-3.0-or-later
#include "translate/GoogleTranslate.h"

#include <QRegularExpression>
#include <QUrl>

namespace {

/// A decimal integer reduced to 32 bits, or 0 when the text is not one: the token works on 32-bit
/// values only, so the reduction loses nothing.
quint32 numberPart(QStringView text)
{
    text = text.trimmed();
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'-' || text.front() == u'+')) {
        negative = text.front() == u'-';
        text = text.mid(1);
    }
    if (text.isEmpty())
        return 0;
    quint32 value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return 0;
        value = value * 10 + quint32(c.unicode() - u'0');
    }
    return negative ? quint32(0) - value : value;
}

/// a += b, then the mix "+-a^+6".
quint32 mixByte(quint32 a, quint32 byte)
{
    a += byte;
    a += a << 10;
    a ^= a >> 6;
    return a;
}

bool isHighSurrogate(char16_t c)
{
    return (c & 0xFC00) == 0xD800;
}

bool isLowSurrogate(char16_t c)
{
    return (c & 0xFC00) == 0xDC00;
}

bool isUnreserved(char16_t c)
{
    if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9'))
        return true;
    switch (c) {
    case u'-':
    case u'_':
    case u'.':
    case u'!':
    case u'~':
    case u'*':
    case u'\'':
    case u'(':
    case u')':
        return true;
    default:
        return false;
    }
}

bool hasWebScheme(const QString& hostSetting)
{
    return hostSetting.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
           hostSetting.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

} // namespace

QString ComputeRequestToken(const QString& text, const QString& tkk)
{
    const QStringList parts = tkk.split(u'.');
    const quint32 h = numberPart(parts.value(0));
    const quint32 k = numberPart(parts.value(1));

    // The text is walked as UTF-8, except that an unpaired surrogate still makes three bytes.
    quint32 a = h;
    const qsizetype length = text.size();
    for (qsizetype i = 0; i < length; ++i) {
        quint32 c = text.at(i).unicode();
        if (c < 0x80) {
            a = mixByte(a, c);
        } else if (c < 0x800) {
            a = mixByte(a, (c >> 6) | 0xC0);
            a = mixByte(a, (c & 0x3F) | 0x80);
        } else if (isHighSurrogate(char16_t(c)) && i + 1 < length &&
                   isLowSurrogate(text.at(i + 1).unicode())) {
            const quint32 n = text.at(++i).unicode();
            c = 0x10000 + ((c & 0x3FF) << 10) + (n & 0x3FF);
            a = mixByte(a, (c >> 18) | 0xF0);
            a = mixByte(a, ((c >> 12) & 0x3F) | 0x80);
            a = mixByte(a, ((c >> 6) & 0x3F) | 0x80);
            a = mixByte(a, (c & 0x3F) | 0x80);
        } else {
            a = mixByte(a, (c >> 12) | 0xE0);
            a = mixByte(a, ((c >> 6) & 0x3F) | 0x80);
            a = mixByte(a, (c & 0x3F) | 0x80);
        }
    }
    // The mix "+-3^+b+-f".
    a += a << 3;
    a ^= a >> 11;
    a += a << 15;
    a ^= k;
    a %= 1000000;
    return QString::number(a) + u'.' + QString::number(qint32(a ^ h));
}

QString EncodeUriComponent(const QString& text, bool* ok)
{
    static const char hex[] = "0123456789ABCDEF";
    if (ok)
        *ok = true;
    QString out;
    out.reserve(text.size() * 3);
    auto percent = [&out](quint32 byte) {
        out.append(u'%');
        out.append(QLatin1Char(hex[byte >> 4]));
        out.append(QLatin1Char(hex[byte & 15]));
    };
    const qsizetype length = text.size();
    for (qsizetype i = 0; i < length; ++i) {
        quint32 c = text.at(i).unicode();
        if (c < 0x80) {
            if (isUnreserved(char16_t(c)))
                out.append(QChar(c));
            else
                percent(c);
        } else if (c < 0x800) {
            percent((c >> 6) | 0xC0);
            percent((c & 0x3F) | 0x80);
        } else if (isHighSurrogate(char16_t(c)) || isLowSurrogate(char16_t(c))) {
            if (!isHighSurrogate(char16_t(c)) || i + 1 >= length ||
                !isLowSurrogate(text.at(i + 1).unicode())) {
                if (ok)
                    *ok = false;
                return QString();
            }
            const quint32 n = text.at(++i).unicode();
            c = 0x10000 + ((c & 0x3FF) << 10) + (n & 0x3FF);
            percent((c >> 18) | 0xF0);
            percent(((c >> 12) & 0x3F) | 0x80);
            percent(((c >> 6) & 0x3F) | 0x80);
            percent((c & 0x3F) | 0x80);
        } else {
            percent((c >> 12) | 0xE0);
            percent(((c >> 6) & 0x3F) | 0x80);
            percent((c & 0x3F) | 0x80);
        }
    }
    return out;
}

QStringList RegexMatches(const QString& text, const QString& pattern)
{
    QStringList matches;
    const QRegularExpression expression(pattern, QRegularExpression::CaseInsensitiveOption);
    if (expression.isValid()) {
        auto it = expression.globalMatch(text);
        while (it.hasNext())
            matches.append(it.next().captured(0));
    }
    // Callers index the result like the platform's match array, which ends in one empty element.
    matches.append(QString());
    return matches;
}

QString TargetLanguageCode(int target)
{
    static const char* const codes[] = {"zh-CN", "en", "zh-TW", "ru", "de", "fr", "ja", "ko"};
    if (target < 0 || target >= int(std::size(codes)))
        return QString();
    return QString::fromLatin1(codes[target]);
}

QString TranslateBaseUrl(const QString& hostSetting)
{
    QString base = hostSetting.trimmed();
    if (!hasWebScheme(base))
        base.prepend(QLatin1String("https://"));
    while (base.endsWith(u'/'))
        base.chop(1);
    return base;
}

QString TranslateHostName(const QString& hostSetting)
{
    return QUrl(TranslateBaseUrl(hostSetting)).host();
}
