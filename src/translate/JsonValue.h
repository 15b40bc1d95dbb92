// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <variant>

class JsonDictionary;
class JsonList;

/// One dynamic value read from or written as JSON: empty (nothing readable), null, boolean, text,
/// number, dictionary or list. Dictionaries and lists are shared handles: copying the value copies
/// the handle, not the elements. Access of the wrong kind or out of range gives an empty value.
class JsonValue
{
public:
    enum class Kind
    {
        Empty,
        Null,
        Boolean,
        Text,
        Number,
        Dictionary,
        List
    };

    /// The empty value.
    JsonValue() = default;
    /// The null value.
    static JsonValue null();
    static JsonValue fromBool(bool value);
    static JsonValue fromNumber(double value);
    static JsonValue fromText(QString text);
    /// A value holding the given dictionary (an empty value for a null handle).
    static JsonValue fromDictionary(std::shared_ptr<JsonDictionary> dictionary);
    /// A value holding the given list (an empty value for a null handle).
    static JsonValue fromList(std::shared_ptr<JsonList> list);
    /// A value holding a new empty dictionary.
    static JsonValue newDictionary();
    /// A value holding a new empty list.
    static JsonValue newList();

    Kind kind() const { return Kind(m_data.index()); }
    bool isEmpty() const { return kind() == Kind::Empty; }
    bool isNull() const { return kind() == Kind::Null; }
    bool isBoolean() const { return kind() == Kind::Boolean; }
    bool isText() const { return kind() == Kind::Text; }
    bool isNumber() const { return kind() == Kind::Number; }
    bool isDictionary() const { return kind() == Kind::Dictionary; }
    bool isList() const { return kind() == Kind::List; }

    /// The boolean, false for any other kind.
    bool boolean() const;
    /// The number, 0 for any other kind.
    double number() const;
    /// The text, "" for any other kind.
    QString text() const;

    /// Elements of a list or pairs of a dictionary; 0 for any other kind.
    int count() const;
    /// Element at a 1-based index of a list; empty (and *ok false) when out of range or not a list.
    JsonValue item(int oneBased, bool* ok = nullptr) const;
    /// Value of a dictionary key; empty (and *ok false) when absent or not a dictionary.
    JsonValue value(const QString& key, bool* ok = nullptr) const;
    /// Keys of a dictionary in insertion order; none for any other kind.
    QStringList keys() const;

    /// The list handle, null for any other kind.
    std::shared_ptr<JsonList> list() const;
    /// The dictionary handle, null for any other kind.
    std::shared_ptr<JsonDictionary> dictionary() const;

private:
    struct NullTag
    {
    };
    using Data = std::variant<std::monostate, NullTag, bool, QString, double, std::shared_ptr<JsonDictionary>,
                              std::shared_ptr<JsonList>>;

    Data m_data;
};
