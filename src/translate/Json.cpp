// SPDX-License-Identifier: GPL-3.0-or-later
#include "translate/Json.h"

#include "text/GbkCodec.h"
#include "translate/JsonDictionary.h"
#include "translate/JsonList.h"

#include <QLocale>
#include <QStringList>
#include <QVarLengthArray>
#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

const QString OutOfStackSpace = QStringLiteral("Out of stack space");
const QString TypeMismatch = QStringLiteral("Type mismatch");
const QString OverflowDescription = QStringLiteral("Overflow");

bool isNumberCharacter(char16_t c)
{
    return (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.' || c == u'e' || c == u'E';
}

int hexDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

void appendHex4(cStringBuilder& out, unsigned code)
{
    static const char16_t digits[] = u"0123456789ABCDEF";
    const char16_t text[6] = {u'\\',
                              u'u',
                              digits[(code >> 12) & 15],
                              digits[(code >> 8) & 15],
                              digits[(code >> 4) & 15],
                              digits[code & 15]};
    out.Append(QStringView(text, 6));
}

/// The code page value of one character: one byte, or lead byte * 256 + trail byte. A character
/// the code page cannot hold is written as "?" by the conversion, so it counts as 63.
unsigned ansiCode(char16_t unit)
{
    if (unit == 0)
        return 0;
    const quint16 code = gbkCode(QChar(unit));
    return code == 0 ? unsigned('?') : code;
}

/// Depth bookkeeping for one container being read.
class DepthGuard
{
public:
    explicit DepthGuard(int& depth) : m_depth(depth) { ++m_depth; }
    ~DepthGuard() { --m_depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    int& m_depth;
};

} // namespace

JsonValue JSON::parse(const QString& str)
{
    m_errors.clear();
    m_data = str.constData();
    m_length = str.size();
    m_pos = 0;
    m_depth = 0;
    m_stop = false;
    // Sized once, so the per-level vectors never move while a list holds on to its own.
    m_pending.resize(size_t(MaxDepth));

    JsonValue result;
    try {
        SkipFiller();
        if (current() == u'{')
            result = ReadObject();
        else if (current() == u'[')
            result = ReadArray();
        else
            m_errors = QStringLiteral("Invalid JSON");
    } catch (const StringBuilderError& e) {
        logError(QString::fromLatin1(e.what()));
    }

    m_data = nullptr;
    m_length = 0;
    m_pos = 0;
    m_pending.clear();
    m_recentKeys.clear();
    m_key.clear();
    // A long string read once should not keep its room for the life of a shared instance.
    m_strings.Clear();
    return result;
}

void JSON::SkipFiller()
{
    enum class Comment
    {
        None,
        Line,
        Block
    };
    Comment comment = Comment::None;
    while (m_pos < m_length) {
        const char16_t c = m_data[m_pos].unicode();
        const char16_t next = m_pos + 1 < m_length ? m_data[m_pos + 1].unicode() : u'\0';
        if (comment == Comment::Block) {
            if (c == u'*' && next == u'/') {
                m_pos += 2;
                comment = Comment::None;
            } else {
                ++m_pos;
            }
            continue;
        }
        if (comment == Comment::Line) {
            if (c == u'\r' || c == u'\n') {
                comment = Comment::None;
                ++m_pos;
            } else if (c == u'/') {
                // Any single "/" ends a line comment; it is then read again as filler outside one.
                comment = Comment::None;
            } else {
                ++m_pos;
            }
            continue;
        }
        switch (c) {
        case u'\r':
        case u'\n':
        case u'\t':
        case u' ':
        case u'(':
        case u')':
        case u'*':
            ++m_pos;
            break;
        case u'/':
            if (next == u'/') {
                comment = Comment::Line;
                m_pos += 2;
            } else if (next == u'*') {
                comment = Comment::Block;
                m_pos += 2;
            } else {
                ++m_pos;
            }
            break;
        default:
            return;
        }
    }
}

bool JSON::ReadValue(JsonValue& out)
{
    SkipFiller();
    const char16_t c = current().unicode();
    switch (c) {
    case u'{':
    case u'[':
        // Nesting is bounded so that a hostile document ends in a log entry, not a stack overflow.
        if (m_depth >= MaxDepth) {
            m_failure = OutOfStackSpace;
            m_stop = true;
            return false;
        }
        out = c == u'{' ? ReadObject() : ReadArray();
        return true;
    case u'"':
    case u'\'':
        out = JsonValue::fromText(ReadString());
        return true;
    case u't':
    case u'f':
        out = JsonValue::fromBool(ReadBoolean());
        return true;
    case u'n':
        out = ReadNull();
        return true;
    default:
        return ReadNumber(out);
    }
}

JsonValue JSON::ReadObject()
{
    auto dictionary = std::make_shared<JsonDictionary>();
    const JsonValue result = JsonValue::fromDictionary(dictionary);
    SkipFiller();
    if (current() != u'{') {
        logError(QStringLiteral("Invalid Object at position %1 : ").arg(m_pos + 1) + mid(m_pos));
        return result;
    }
    ++m_pos;
    const DepthGuard guard(m_depth);
    for (;;) {
        SkipFiller();
        if (current() == u'}') {
            ++m_pos;
            return result;
        }
        if (current() == u',') {
            ++m_pos;
            SkipFiller();
        }
        if (atEnd()) {
            logError(QStringLiteral("Missing '}': ") + lastCharacters(20));
            return result;
        }
        const QString key = ReadKey();
        JsonValue value;
        if (!ReadValue(value)) {
            logError(m_failure + QStringLiteral(": ") + key);
            return result;
        }
        if (!dictionary->add(key, std::move(value))) {
            logError(JsonDictionary::duplicateKeyDescription() + QStringLiteral(": ") + key);
            return result;
        }
        if (m_stop)
            return result;
    }
}

JsonValue JSON::ReadArray()
{
    auto list = std::make_shared<JsonList>();
    const JsonValue result = JsonValue::fromList(list);
    SkipFiller();
    if (current() != u'[') {
        logError(QStringLiteral("Invalid Array at position %1 : ").arg(m_pos + 1) + mid(m_pos, 20));
        return result;
    }
    ++m_pos;
    const DepthGuard guard(m_depth);
    std::vector<JsonValue>& pending = m_pending[size_t(m_depth - 1)];
    // Whatever way reading ends, the list receives the elements read so far.
    const auto finish = [&]() {
        list->reserve(int(pending.size()));
        for (JsonValue& element : pending)
            list->append(std::move(element));
        pending.clear();
        return result;
    };
    for (;;) {
        SkipFiller();
        if (current() == u']') {
            ++m_pos;
            return finish();
        }
        if (current() == u',') {
            ++m_pos;
            SkipFiller();
        }
        if (atEnd()) {
            logError(QStringLiteral("Missing ']': ") + lastCharacters(20));
            return finish();
        }
        JsonValue value;
        if (!ReadValue(value)) {
            logError(m_failure + QStringLiteral(": ") + mid(m_pos, 20));
            return finish();
        }
        pending.push_back(std::move(value));
        if (m_stop)
            return finish();
    }
}

QString JSON::ReadString()
{
    SkipFiller();
    const QChar delimiter = current();
    ++m_pos;
    m_strings.Remove(0, m_strings.Length());
    for (;;) {
        // Plain characters go to the builder a run at a time.
        const qsizetype runStart = m_pos;
        while (m_pos < m_length && m_data[m_pos] != delimiter && m_data[m_pos] != u'\\')
            ++m_pos;
        // A string without escapes is one run: copying it through the builder would only cost time.
        if (m_strings.Length() == 0 && m_pos < m_length && m_data[m_pos] == delimiter) {
            ++m_pos;
            return QString(m_data + runStart, m_pos - 1 - runStart);
        }
        if (m_pos > runStart)
            m_strings.Append(QStringView(m_data + runStart, m_pos - runStart));
        if (m_pos >= m_length)
            break; // unterminated: what was read is the string, without complaint
        if (m_data[m_pos] == delimiter) {
            ++m_pos;
            break;
        }
        ++m_pos; // onto the escaped character
        if (m_pos >= m_length)
            break;
        const char16_t e = m_data[m_pos].unicode();
        switch (e) {
        case u'b':
            m_strings.Append(QChar(8));
            break;
        case u'f':
            m_strings.Append(QChar(12));
            break;
        case u'n':
            m_strings.Append(QChar(10));
            break;
        case u'r':
            m_strings.Append(QChar(13));
            break;
        case u't':
            m_strings.Append(QChar(9));
            break;
        case u'u': {
            // Four characters are consumed whatever they are; the code is their leading hex digits.
            const qsizetype first = m_pos + 1;
            const qsizetype last = qMin(first + 4, m_length);
            unsigned code = 0;
            for (qsizetype i = first; i < last; ++i) {
                const int digit = hexDigit(m_data[i].unicode());
                if (digit < 0)
                    break;
                code = code * 16 + unsigned(digit);
            }
            m_strings.Append(QChar(char16_t(code)));
            m_pos = last;
            continue;
        }
        default:
            // Quotes, backslash and slash stand for themselves; so does anything else after a
            // backslash, which is dropped.
            m_strings.Append(QChar(e));
            break;
        }
        ++m_pos;
    }
    return m_strings.toString();
}

bool JSON::ReadNumber(JsonValue& out)
{
    SkipFiller();
    const qsizetype start = m_pos;
    while (m_pos < m_length && isNumberCharacter(m_data[m_pos].unicode()))
        ++m_pos;
    if (m_pos >= m_length) {
        out = JsonValue();
        return true;
    }

    QVarLengthArray<char, 64> text;
    for (qsizetype i = start; i < m_pos; ++i)
        text.append(char(m_data[i].unicode()));
    const char* begin = text.data();
    const char* end = begin + text.size();
    // The platform conversion takes a leading plus sign, which from_chars does not.
    if (begin != end && *begin == '+' && end - begin > 1 && begin[1] != '-' && begin[1] != '+')
        ++begin;
    double value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value, std::chars_format::general);
    if (begin == end || stop != end || (error != std::errc() && error != std::errc::result_out_of_range)) {
        m_failure = TypeMismatch;
        return false;
    }
    if (error == std::errc::result_out_of_range) {
        const double rough = QLocale::c().toDouble(QLatin1StringView(begin, end - begin));
        if (std::isinf(rough)) {
            m_failure = OverflowDescription;
            return false;
        }
        value = rough; // too small to hold: it reads as zero
    }
    // A decimal has no negative zero.
    out = JsonValue::fromNumber(value == 0 ? 0.0 : value);
    return true;
}

bool JSON::ReadBoolean()
{
    SkipFiller();
    const QStringView rest(m_data + m_pos, m_length - m_pos);
    if (rest.startsWith(u"true")) {
        m_pos += 4;
        return true;
    }
    if (rest.startsWith(u"false")) {
        m_pos += 5;
        return false;
    }
    logError(QStringLiteral("Invalid Boolean at position %1 : ").arg(m_pos + 1) + mid(m_pos));
    // Nothing was consumed, so reading on would meet the same character forever.
    m_stop = true;
    return false;
}

JsonValue JSON::ReadNull()
{
    SkipFiller();
    const QStringView rest(m_data + m_pos, m_length - m_pos);
    if (rest.startsWith(u"null")) {
        m_pos += 4;
        return JsonValue::null();
    }
    logError(QStringLiteral("Invalid null value at position %1 : ").arg(m_pos + 1) + mid(m_pos));
    m_stop = true;
    return JsonValue();
}

QString JSON::ReadKey()
{
    SkipFiller();
    m_key.resize(0); // keeps its room from key to key
    bool inDouble = false;
    bool inSingle = false;
    while (m_pos < m_length) {
        const char16_t c = m_data[m_pos].unicode();
        switch (c) {
        case u'"':
        case u'\'': {
            bool& quoted = c == u'"' ? inDouble : inSingle;
            quoted = !quoted;
            ++m_pos;
            if (!quoted) {
                SkipFiller();
                if (current() != u':') {
                    logError(QStringLiteral("Invalid Key at position %1 : ").arg(m_pos + 1) + m_key);
                    return sharedKey(m_key);
                }
            }
            break;
        }
        case u':':
            ++m_pos;
            if (!inDouble && !inSingle)
                return sharedKey(m_key);
            m_key.append(QChar(c));
            break;
        case u'\r':
        case u'\n':
        case u'\t':
        case u' ':
            ++m_pos;
            break;
        default: {
            const qsizetype runStart = m_pos;
            while (m_pos < m_length) {
                const char16_t d = m_data[m_pos].unicode();
                if (d == u'"' || d == u'\'' || d == u':' || d == u'\r' || d == u'\n' || d == u'\t' ||
                    d == u' ')
                    break;
                ++m_pos;
            }
            m_key.append(QStringView(m_data + runStart, m_pos - runStart));
            break;
        }
        }
    }
    return sharedKey(m_key);
}

QString JSON::sharedKey(QStringView key)
{
    constexpr size_t Slots = 256;
    if (key.size() > 64)
        return key.toString();
    if (m_recentKeys.empty())
        m_recentKeys.resize(Slots);
    QString& slot = m_recentKeys[qHash(key) % Slots];
    if (slot != key)
        slot = key.toString();
    return slot;
}

QString JSON::toString(const JsonValue& obj) const
{
    cStringBuilder out;
    std::vector<const void*> path;
    write(out, obj, path);
    return out.toString();
}

void JSON::write(cStringBuilder& out, const JsonValue& value, std::vector<const void*>& path) const
{
    switch (value.kind()) {
    case JsonValue::Kind::Empty:
        return;
    case JsonValue::Kind::Null:
        out.Append(u"null");
        return;
    case JsonValue::Kind::Boolean:
        out.Append(value.boolean() ? QStringView(u"true") : QStringView(u"false"));
        return;
    case JsonValue::Kind::Number:
        out.Append(numberText(value.number()));
        return;
    case JsonValue::Kind::Text:
        out.Append(u'"');
        EscapeString(out, value.text());
        out.Append(u'"');
        return;
    case JsonValue::Kind::Dictionary:
    case JsonValue::Kind::List:
        break;
    }
    // Containers are shared handles and may hold themselves: a container already being written is
    // left out, as is anything nested deeper than the reader would accept.
    const void* handle = value.isList() ? static_cast<const void*>(value.list().get())
                                        : static_cast<const void*>(value.dictionary().get());
    if (path.size() >= size_t(MaxDepth) || std::find(path.begin(), path.end(), handle) != path.end())
        return;
    path.push_back(handle);
    if (const auto dictionary = value.dictionary()) {
        out.Append(u'{');
        bool first = true;
        for (const auto& [key, element] : dictionary->entries()) {
            if (!first)
                out.Append(u',');
            first = false;
            out.Append(u'"');
            out.Append(key);
            out.Append(u"\":");
            write(out, element, path);
        }
        out.Append(u'}');
    } else if (const auto list = value.list()) {
        out.Append(u'[');
        bool first = true;
        for (const JsonValue& element : list->items()) {
            if (!first)
                out.Append(u',');
            first = false;
            write(out, element, path);
        }
        out.Append(u']');
    }
    path.pop_back();
}

void JSON::EscapeString(cStringBuilder& out, QStringView text)
{
    const QChar* data = text.data();
    const qsizetype length = text.size();
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < length; ++i) {
        const char16_t c = data[i].unicode();
        if (c >= 32 && c <= 126 && c != u'"' && c != u'\\' && c != u'/')
            continue;
        if (i > runStart)
            out.Append(QStringView(data + runStart, i - runStart));
        runStart = i + 1;
        switch (c) {
        case u'"':
            out.Append(u"\\\"");
            break;
        case u'\\':
            out.Append(u"\\\\");
            break;
        case u'/':
            out.Append(u"\\/");
            break;
        case 8:
            out.Append(u"\\b");
            break;
        case 12:
            out.Append(u"\\f");
            break;
        case 10:
            out.Append(u"\\n");
            break;
        case 13:
            out.Append(u"\\r");
            break;
        case 9:
            out.Append(u"\\t");
            break;
        default:
            appendHex4(out, c);
            break;
        }
    }
    if (length > runStart)
        out.Append(QStringView(data + runStart, length - runStart));
}

QString JSON::toUnicode(const QString& str) const
{
    cStringBuilder out;
    for (const QChar ch : str) {
        const char16_t c = ch.unicode();
        switch (c) {
        case 8:
            out.Append(u"\\b");
            continue;
        case 9:
            out.Append(u"\\t");
            continue;
        case 10:
            out.Append(u"\\n");
            continue;
        case 12:
            out.Append(u"\\f");
            continue;
        case 13:
            out.Append(u"\\r");
            continue;
        case u'"':
            out.Append(u"\\\"");
            continue;
        case u'\'':
            out.Append(u"\\'");
            continue;
        case u'\\':
            out.Append(u"\\\\");
            continue;
        case u'{':
            out.Append(u"\\u007B");
            continue;
        case u'}':
            out.Append(u"\\u007D");
            continue;
        default:
            break;
        }
        const unsigned code = ansiCode(c);
        if (code >= 32 && code <= 127)
            out.Append(ch);
        else
            appendHex4(out, code);
    }
    return out.toString();
}

QString JSON::StringToJSON(const QString& st, bool* ok) const
{
    if (ok)
        *ok = true;
    if (st.isEmpty())
        return QStringLiteral("null");

    const QStringList records = st.split(u'|');
    cStringBuilder out;
    out.Append(u"( {\"Records\": [\r\n");
    for (qsizetype r = 0; r < records.size(); ++r) {
        if (r > 0)
            out.Append(u",\r\n");
        // An empty record has no fields at all rather than one empty name.
        const QStringList fields = records[r].isEmpty() ? QStringList() : records[r].split(u'~');
        if (fields.size() % 2 != 0) {
            if (ok)
                *ok = false;
            return QString();
        }
        out.Append(u'{');
        for (qsizetype i = 0; i < fields.size(); i += 2) {
            if (i > 0)
                out.Append(u',');
            out.Append(u'"');
            out.Append(fields[i]);
            out.Append(u"\":\"");
            out.Append(toUnicode(fields[i + 1]));
            out.Append(u'"');
        }
        out.Append(u'}');
    }
    out.Append(u"\r\n], \"RecordCount\":\"");
    out.Append(QString::number(records.size()));
    out.Append(u"\" } )");
    return out.toString();
}

QString JSON::numberText(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("null");
    if (value == 0)
        return QStringLiteral("0");
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

QString JSON::mid(qsizetype from, qsizetype count) const
{
    if (from >= m_length)
        return QString();
    const qsizetype available = m_length - from;
    return QString(m_data + from, count < 0 ? available : qMin(count, available));
}

QString JSON::lastCharacters(qsizetype count) const
{
    const qsizetype n = qMin(count, m_length);
    return QString(m_data + m_length - n, n);
}

void JSON::logError(const QString& entry)
{
    m_errors += entry;
    m_errors += QStringLiteral("\r\n");
}
