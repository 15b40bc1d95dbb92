// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "text/cStringBuilder.h"
#include "translate/JsonValue.h"

#include <QString>
#include <vector>

/// Reads JSON text into dynamic values and writes them back. The reader is lenient (single quotes,
/// unquoted keys, comments, parentheses around values) and never throws: what it cannot read is
/// described in the parser error log, one CR LF terminated entry per problem, and the tree built so far
/// is returned.
class JSON
{
public:
    /// Containers nested deeper than this are not read; the reader logs "Out of stack space" instead.
    static constexpr int MaxDepth = 512;

    /// The parser error log of the last parse, plus anything not cleared since.
    QString GetParserErrors() const { return m_errors; }
    /// Empties the parser error log.
    void ClearParserErrors() { m_errors.clear(); }

    /// The root dictionary or list of the text; the empty value when the text holds neither.
    JsonValue parse(const QString& str);
    /// The JSON text of a value, without spaces or line breaks; "" for the empty value.
    QString toString(const JsonValue& obj) const;
    /// JSON text of a record set written as name~value~name~value records separated by "|".
    /// A record with a name and no value fails: the result is "" and *ok false.
    QString StringToJSON(const QString& st, bool* ok = nullptr) const;
    /// The text with JSON escapes, characters outside printable ASCII written as \u and their code in
    /// the Chinese ANSI code page (936).
    QString toUnicode(const QString& str) const;

    /// Decimal text of a number as the writer puts it: plain digits, "." as the point, no exponent.
    static QString numberText(double value);

private:
    void SkipFiller();
    bool ReadValue(JsonValue& out);
    JsonValue ReadObject();
    JsonValue ReadArray();
    QString ReadString();
    bool ReadNumber(JsonValue& out);
    bool ReadBoolean();
    JsonValue ReadNull();
    QString ReadKey();
    QString sharedKey(QStringView key);

    void write(cStringBuilder& out, const JsonValue& value, std::vector<const void*>& path) const;
    static void EscapeString(cStringBuilder& out, QStringView text);

    bool atEnd() const { return m_pos >= m_length; }
    QChar current() const { return m_pos < m_length ? m_data[m_pos] : QChar(); }
    QString mid(qsizetype from, qsizetype count = -1) const;
    QString lastCharacters(qsizetype count) const;
    void logError(const QString& entry);

    QString m_errors;

    // State of one parse call. m_pos is 0-based; messages show it 1-based.
    const QChar* m_data = nullptr;
    qsizetype m_length = 0;
    qsizetype m_pos = 0;
    int m_depth = 0;
    bool m_stop = false;
    QString m_failure;
    cStringBuilder m_strings;
    // Elements of the lists being read, one vector per nesting level, reused from list to list so
    // that each list is allocated once at its final size.
    std::vector<std::vector<JsonValue>> m_pending;
    // Keys repeat from object to object; recently read ones are shared instead of allocated again.
    std::vector<QString> m_recentKeys;
    QString m_key;
};
