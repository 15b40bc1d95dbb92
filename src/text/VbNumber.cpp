// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/VbNumber.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

/// Walks a text the way Val sees it: blanks, tabs and line feeds simply are not there.
class ValCursor
{
public:
    explicit ValCursor(const QString& text) : m_pos(text.constData()), m_end(m_pos + text.size()) {}

    QChar peek()
    {
        while (m_pos < m_end && (*m_pos == u' ' || *m_pos == u'\t' || *m_pos == u'\n'))
            ++m_pos;
        return m_pos < m_end ? *m_pos : QChar();
    }
    void next() { ++m_pos; }
    bool take(char16_t c)
    {
        if (peek() != c)
            return false;
        next();
        return true;
    }
    bool takeEither(char16_t a, char16_t b)
    {
        const QChar c = peek();
        if (c != a && c != b)
            return false;
        next();
        return true;
    }

private:
    const QChar* m_pos;
    const QChar* m_end;
};

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

/// &H and &O: the value decides the width. Up to 16 bits it is an Integer, so &HFFFF is -1; up to
/// 32 bits a Long; a trailing "&" asks for a Long straight away (&HFFFF& is 65535). Leading zeros
/// do not widen the number. Beyond 32 bits the original raised an overflow; reading the plain
/// magnitude keeps Val total.
double readRadix(ValCursor& cursor, int radix)
{
    double magnitude = 0;
    for (;;) {
        const int digit = hexDigit(cursor.peek());
        if (digit < 0 || digit >= radix)
            break;
        magnitude = magnitude * radix + digit;
        cursor.next();
    }
    const bool asLong = cursor.take(u'&');
    if (magnitude <= 0xFFFF && !asLong)
        return static_cast<qint16>(static_cast<quint16>(magnitude));
    if (magnitude <= 0xFFFFFFFFu)
        return static_cast<qint32>(static_cast<quint32>(magnitude));
    return magnitude;
}

bool isDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

} // namespace

double Val(const QString& text)
{
    ValCursor cursor(text);
    if (cursor.take(u'&')) {
        if (cursor.takeEither(u'H', u'h'))
            return readRadix(cursor, 16);
        if (cursor.takeEither(u'O', u'o'))
            return readRadix(cursor, 8);
        return 0;
    }

    // Gather the accepted characters into a plain ASCII number for a locale-free, correctly
    // rounded conversion.
    std::string number;
    if (cursor.take(u'-'))
        number += '-';
    else
        cursor.take(u'+');

    // Order of magnitude of the first significant digit, kept to tell an overflow from an
    // underflow when the conversion is out of range.
    long long order = 0;
    bool significant = false;
    bool anyDigit = false;
    while (isDigit(cursor.peek())) {
        const char d = char(cursor.peek().unicode());
        if (significant)
            ++order;
        else if (d != '0')
            significant = true;
        number += d;
        anyDigit = true;
        cursor.next();
    }
    if (cursor.take(u'.')) {
        number += '.';
        while (isDigit(cursor.peek())) {
            const char d = char(cursor.peek().unicode());
            if (!significant) {
                --order;
                significant = d != '0';
            }
            number += d;
            anyDigit = true;
            cursor.next();
        }
    }
    if (!anyDigit)
        return 0;

    long long exponent = 0;
    const QChar e = cursor.peek();
    if (e == u'E' || e == u'e' || e == u'D' || e == u'd') {
        cursor.next();
        bool negativeExponent = false;
        if (cursor.take(u'-'))
            negativeExponent = true;
        else
            cursor.take(u'+');
        while (isDigit(cursor.peek())) {
            const int d = cursor.peek().unicode() - u'0';
            exponent = std::min<long long>(exponent * 10 + d, 1000000000LL);
            cursor.next();
        }
        if (negativeExponent)
            exponent = -exponent;
        number += 'e';
        number += std::to_string(exponent);
    }

    double value = 0;
    const char* first = number.data();
    const auto [ptr, ec] = std::from_chars(first, first + number.size(), value);
    Q_UNUSED(ptr);
    if (ec == std::errc::result_out_of_range) {
        const bool negative = number.front() == '-';
        if (order + exponent > 0)
            return negative ? -std::numeric_limits<double>::infinity()
                            : std::numeric_limits<double>::infinity();
        return 0;
    }
    if (ec != std::errc() || value == 0)
        return 0; // no negative zero: "-0" reads as plain 0
    return value;
}

QString formatSingle(double value)
{
    const float single = static_cast<float>(value);
    if (!std::isfinite(single))
        return QStringLiteral("0");
    if (single == 0)
        return QStringLiteral("0");

    // Seven significant digits in scientific form, then laid out without an exponent. to_chars,
    // unlike printf, ignores the locale: the point stays "." under a German LC_NUMERIC.
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(single),
                                       std::chars_format::scientific, 6);
    const std::string scientific(buffer, written.ptr);
    const bool negative = scientific.front() == '-';
    const size_t mantissaStart = negative ? 1 : 0;
    const size_t ePos = scientific.find('e');
    std::string digits;
    for (size_t i = mantissaStart; i < ePos; ++i) {
        if (scientific[i] != '.')
            digits += scientific[i];
    }
    const int exponent = std::stoi(scientific.substr(ePos + 1));
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string out;
    if (exponent >= 0) {
        const size_t integerDigits = size_t(exponent) + 1;
        if (digits.size() <= integerDigits) {
            out = digits + std::string(integerDigits - digits.size(), '0');
        } else {
            out = digits.substr(0, integerDigits) + '.' + digits.substr(integerDigits);
        }
    } else {
        out = "0." + std::string(size_t(-exponent - 1), '0') + digits;
    }
    if (negative)
        out.insert(out.begin(), '-');
    return QString::fromLatin1(out.data(), qsizetype(out.size()));
}
