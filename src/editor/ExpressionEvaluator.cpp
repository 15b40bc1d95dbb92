// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/ExpressionEvaluator.h"

#include "text/VbNumber.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

// Brackets nested deeper than this are refused rather than risking the stack; each level costs a
// handful of frames, so the bound stays far below any stack limit.
constexpr int MaxNesting = 256;

constexpr qint64 IntegerMin = std::numeric_limits<qint16>::min();
constexpr qint64 IntegerMax = std::numeric_limits<qint16>::max();
constexpr qint64 LongMin = std::numeric_limits<qint32>::min();
constexpr qint64 LongMax = std::numeric_limits<qint32>::max();

/// The three subtypes arithmetic can produce, ordered by width.
enum class Kind
{
    Integer,
    Long,
    Double
};

struct Number
{
    Kind kind = Kind::Integer;
    qint64 whole = 0; // Integer and Long
    double real = 0;  // Double

    double asDouble() const { return kind == Kind::Double ? real : double(whole); }
};

using Result = std::optional<Number>;

Number doubleNumber(double value)
{
    return {Kind::Double, 0, value};
}

/// An exact integer result of an operation on operands of width at least `kind`: it stays as
/// narrow as it can and widens instead of overflowing, up to a Double.
Number widened(qint64 value, Kind kind)
{
    if (kind == Kind::Integer && value >= IntegerMin && value <= IntegerMax)
        return {Kind::Integer, value, 0};
    if (value >= LongMin && value <= LongMax)
        return {Kind::Long, value, 0};
    return doubleNumber(double(value));
}

Result finiteOrError(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    return doubleNumber(value);
}

bool isIntegral(const Number& n)
{
    return n.kind != Kind::Double;
}

Kind widerKind(const Number& a, const Number& b)
{
    return std::max(a.kind, b.kind);
}

/// Round half to even without depending on the floating-point environment.
double roundHalfEven(double value)
{
    const double floor = std::floor(value);
    const double fraction = value - floor;
    if (fraction < 0.5)
        return floor;
    if (fraction > 0.5)
        return floor + 1;
    return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

/// \ and Mod work on Longs: operands are rounded half to even and must then fit 32 bits.
std::optional<qint64> toLong(const Number& n)
{
    if (isIntegral(n))
        return n.whole;
    const double rounded = roundHalfEven(n.real);
    if (!(rounded >= double(LongMin) && rounded <= double(LongMax)))
        return std::nullopt;
    return qint64(rounded);
}

Result add(const Number& a, const Number& b)
{
    if (isIntegral(a) && isIntegral(b))
        return widened(a.whole + b.whole, widerKind(a, b));
    return finiteOrError(a.asDouble() + b.asDouble());
}

Result subtract(const Number& a, const Number& b)
{
    if (isIntegral(a) && isIntegral(b))
        return widened(a.whole - b.whole, widerKind(a, b));
    return finiteOrError(a.asDouble() - b.asDouble());
}

Result multiply(const Number& a, const Number& b)
{
    // Both operands fit 32 bits, so their product fits 64.
    if (isIntegral(a) && isIntegral(b))
        return widened(a.whole * b.whole, widerKind(a, b));
    return finiteOrError(a.asDouble() * b.asDouble());
}

Result divide(const Number& a, const Number& b)
{
    // x/0 is a division by zero and 0/0 an overflow: either way no result.
    if (b.asDouble() == 0)
        return std::nullopt;
    return finiteOrError(a.asDouble() / b.asDouble());
}

Result integerDivide(const Number& a, const Number& b)
{
    const auto x = toLong(a);
    const auto y = toLong(b);
    if (!x || !y || *y == 0)
        return std::nullopt;
    const qint64 quotient = *x / *y; // truncates toward zero
    const Kind kind = a.kind == Kind::Integer && b.kind == Kind::Integer ? Kind::Integer : Kind::Long;
    if (quotient > LongMax) // only LongMin \ -1
        return std::nullopt;
    return widened(quotient, kind);
}

Result modulo(const Number& a, const Number& b)
{
    const auto x = toLong(a);
    const auto y = toLong(b);
    if (!x || !y || *y == 0)
        return std::nullopt;
    const Kind kind = a.kind == Kind::Integer && b.kind == Kind::Integer ? Kind::Integer : Kind::Long;
    return widened(*x % *y, kind); // the remainder takes the dividend's sign
}

Result power(const Number& a, const Number& b)
{
    const double base = a.asDouble();
    const double exponent = b.asDouble();
    if (base < 0 && exponent != std::trunc(exponent))
        return std::nullopt;
    return finiteOrError(std::pow(base, exponent));
}

Number negate(const Number& n)
{
    if (isIntegral(n))
        return widened(-n.whole, n.kind);
    return doubleNumber(-n.real);
}

bool isAsciiDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

bool isNameChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'_';
}

/// Recursive descent over the precedence levels, lowest first: binary + -, Mod, \, * /, ^, signs.
/// Only brackets recurse, and their depth is bounded; chains of operators and signs are loops.
class Parser
{
public:
    explicit Parser(const QString& text) : m_text(text) {}

    Result parseAll()
    {
        Result value = parseAdditive();
        if (!value || !atEnd())
            return std::nullopt;
        return value;
    }

private:
    QChar peek()
    {
        while (m_pos < m_text.size() && (m_text[m_pos] == u' ' || m_text[m_pos] == u'\t'))
            ++m_pos;
        return m_pos < m_text.size() ? m_text[m_pos] : QChar();
    }

    bool atEnd()
    {
        peek();
        return m_pos >= m_text.size();
    }

    bool take(char16_t c)
    {
        if (peek() != c)
            return false;
        ++m_pos;
        return true;
    }

    /// The keyword Mod in any case, as a whole name (Mod3 is a name, not Mod and 3).
    bool takeMod()
    {
        peek();
        if (m_pos + 3 > m_text.size())
            return false;
        if (QStringView(m_text).mid(m_pos, 3).compare(u"mod", Qt::CaseInsensitive) != 0)
            return false;
        if (m_pos + 3 < m_text.size() && isNameChar(m_text[m_pos + 3]))
            return false;
        m_pos += 3;
        return true;
    }

    Result parseAdditive()
    {
        Result left = parseModulo();
        while (left) {
            if (take(u'+')) {
                const Result right = parseModulo();
                left = right ? add(*left, *right) : std::nullopt;
            } else if (take(u'-')) {
                const Result right = parseModulo();
                left = right ? subtract(*left, *right) : std::nullopt;
            } else {
                break;
            }
        }
        return left;
    }

    Result parseModulo()
    {
        Result left = parseIntegerDivision();
        while (left && takeMod()) {
            const Result right = parseIntegerDivision();
            left = right ? modulo(*left, *right) : std::nullopt;
        }
        return left;
    }

    Result parseIntegerDivision()
    {
        Result left = parseMultiplicative();
        while (left && take(u'\\')) {
            const Result right = parseMultiplicative();
            left = right ? integerDivide(*left, *right) : std::nullopt;
        }
        return left;
    }

    Result parseMultiplicative()
    {
        Result left = parsePower();
        while (left) {
            if (take(u'*')) {
                const Result right = parsePower();
                left = right ? multiply(*left, *right) : std::nullopt;
            } else if (take(u'/')) {
                const Result right = parsePower();
                left = right ? divide(*left, *right) : std::nullopt;
            } else {
                break;
            }
        }
        return left;
    }

    // ^ is left-associative and its operands carry their own signs: -3^2 is 9, 2^-1 is 0.5.
    Result parsePower()
    {
        Result left = parseSigned();
        while (left && take(u'^')) {
            const Result right = parseSigned();
            left = right ? power(*left, *right) : std::nullopt;
        }
        return left;
    }

    Result parseSigned()
    {
        qsizetype negations = 0;
        for (;;) {
            if (take(u'-'))
                ++negations;
            else if (!take(u'+'))
                break;
        }
        Result value = parsePrimary();
        // Each sign applies in turn: the first negation of the Integer -32768 already widens it.
        for (qsizetype i = 0; value && i < negations; ++i)
            value = negate(*value);
        return value;
    }

    Result parsePrimary()
    {
        if (take(u'(')) {
            if (++m_depth > MaxNesting)
                return std::nullopt;
            Result inner = parseAdditive();
            --m_depth;
            if (!inner || !take(u')'))
                return std::nullopt;
            return inner;
        }
        return parseNumber();
    }

    /// A decimal literal: digits with an optional fraction and exponent. Whole literals are
    /// Integer or Long when they fit, else Double; any fraction or exponent makes a Double.
    Result parseNumber()
    {
        const QChar first = peek();
        if (!isAsciiDigit(first) && first != u'.')
            return std::nullopt;
        const qsizetype start = m_pos;
        qsizetype digits = 0;
        bool whole = true;
        while (m_pos < m_text.size() && isAsciiDigit(m_text[m_pos])) {
            ++m_pos;
            ++digits;
        }
        if (m_pos < m_text.size() && m_text[m_pos] == u'.') {
            whole = false;
            ++m_pos;
            while (m_pos < m_text.size() && isAsciiDigit(m_text[m_pos])) {
                ++m_pos;
                ++digits;
            }
        }
        if (digits == 0)
            return std::nullopt;
        if (m_pos < m_text.size() && (m_text[m_pos] == u'E' || m_text[m_pos] == u'e')) {
            whole = false;
            ++m_pos;
            if (m_pos < m_text.size() && (m_text[m_pos] == u'+' || m_text[m_pos] == u'-'))
                ++m_pos;
            qsizetype exponentDigits = 0;
            while (m_pos < m_text.size() && isAsciiDigit(m_text[m_pos])) {
                ++m_pos;
                ++exponentDigits;
            }
            if (exponentDigits == 0)
                return std::nullopt;
        }
        const QStringView literal = QStringView(m_text).mid(start, m_pos - start);
        if (whole) {
            qsizetype firstSignificant = 0;
            while (firstSignificant < literal.size() - 1 && literal[firstSignificant] == u'0')
                ++firstSignificant;
            const QStringView significant = literal.mid(firstSignificant);
            if (significant.size() <= 10) {
                const qint64 value = significant.toLongLong();
                if (value <= LongMax)
                    return widened(value, Kind::Integer);
            }
        }
        // The number reading is the same as Val's for these characters; it yields infinity
        // for a literal beyond the double range, which is an overflow here.
        return finiteOrError(Val(literal.toString()));
    }

    const QString& m_text;
    qsizetype m_pos = 0;
    int m_depth = 0;
};

/// How the language turns a Double into text: 15 significant digits; the exponent form of the
/// general notation is kept only when the plain decimal would need 15 or more digits around the
/// point; the exponent carries a sign and at least two digits.
QString doubleToText(double value)
{
    if (value == 0)
        return QStringLiteral("0"); // negative zero too

    // to_chars rather than printf: the text must not follow the locale's decimal separator.
    char buffer[40];
    const auto written =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    const std::string scientific(buffer, written.ptr);
    const bool negative = scientific.front() == '-';
    const size_t ePos = scientific.find('e');
    std::string digits;
    for (size_t i = negative ? 1 : 0; i < ePos; ++i) {
        if (scientific[i] != '.')
            digits += scientific[i];
    }
    const int exponent = std::atoi(scientific.c_str() + ePos + 1);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    const int fractionDigits = int(digits.size()) - 1;
    const bool generalUsesExponent = exponent < -4 || exponent >= 15;
    const bool keepExponent = generalUsesExponent && std::abs(exponent) + fractionDigits >= 15;

    std::string out = negative ? "-" : "";
    if (keepExponent) {
        out += digits[0];
        if (fractionDigits > 0)
            out += '.' + digits.substr(1);
        char exponentText[16];
        std::snprintf(exponentText, sizeof exponentText, "E%c%02d", exponent < 0 ? '-' : '+',
                      std::abs(exponent));
        out += exponentText;
    } else if (exponent >= 0) {
        const size_t integerDigits = size_t(exponent) + 1;
        if (digits.size() <= integerDigits)
            out += digits + std::string(integerDigits - digits.size(), '0');
        else
            out += digits.substr(0, integerDigits) + '.' + digits.substr(integerDigits);
    } else {
        out += "0." + std::string(size_t(-exponent - 1), '0') + digits;
    }
    return QString::fromLatin1(out.data(), qsizetype(out.size()));
}

QString numberToText(const Number& n)
{
    if (isIntegral(n))
        return QString::number(n.whole);
    return doubleToText(n.real);
}

} // namespace

std::optional<QString> EvaluateExpression(const QString& expression)
{
    Parser parser(expression);
    const Result value = parser.parseAll();
    if (!value)
        return std::nullopt;
    return numberToText(*value);
}

std::optional<QString> EvaluateSelection(const QString& selectedText)
{
    qsizetype begin = 0;
    qsizetype end = selectedText.size();
    while (begin < end && selectedText[begin] == u' ')
        ++begin;
    while (end > begin && selectedText[end - 1] == u' ')
        --end;
    QString expression = selectedText.mid(begin, end - begin);
    expression.replace(u'%', QStringLiteral(" Mod "));
    return EvaluateExpression(expression);
}
