// SPDX-License-Identifier: GPL-3.0-or-later
#include "translate/JsonValue.h"

#include "translate/JsonDictionary.h"
#include "translate/JsonList.h"

JsonValue JsonValue::null()
{
    JsonValue v;
    v.m_data = NullTag{};
    return v;
}

JsonValue JsonValue::fromBool(bool value)
{
    JsonValue v;
    v.m_data = value;
    return v;
}

JsonValue JsonValue::fromNumber(double value)
{
    JsonValue v;
    v.m_data = value;
    return v;
}

JsonValue JsonValue::fromText(QString text)
{
    JsonValue v;
    v.m_data = std::move(text);
    return v;
}

JsonValue JsonValue::fromDictionary(std::shared_ptr<JsonDictionary> dictionary)
{
    JsonValue v;
    if (dictionary)
        v.m_data = std::move(dictionary);
    return v;
}

JsonValue JsonValue::fromList(std::shared_ptr<JsonList> list)
{
    JsonValue v;
    if (list)
        v.m_data = std::move(list);
    return v;
}

JsonValue JsonValue::newDictionary()
{
    return fromDictionary(std::make_shared<JsonDictionary>());
}

JsonValue JsonValue::newList()
{
    return fromList(std::make_shared<JsonList>());
}

bool JsonValue::boolean() const
{
    const bool* b = std::get_if<bool>(&m_data);
    return b && *b;
}

double JsonValue::number() const
{
    const double* d = std::get_if<double>(&m_data);
    return d ? *d : 0.0;
}

QString JsonValue::text() const
{
    const QString* s = std::get_if<QString>(&m_data);
    return s ? *s : QString();
}

int JsonValue::count() const
{
    if (const auto l = list())
        return l->count();
    if (const auto d = dictionary())
        return d->count();
    return 0;
}

JsonValue JsonValue::item(int oneBased, bool* ok) const
{
    if (const auto l = list())
        return l->item(oneBased, ok);
    if (ok)
        *ok = false;
    return JsonValue();
}

JsonValue JsonValue::value(const QString& key, bool* ok) const
{
    if (const auto d = dictionary())
        return d->value(key, ok);
    if (ok)
        *ok = false;
    return JsonValue();
}

QStringList JsonValue::keys() const
{
    if (const auto d = dictionary())
        return d->keys();
    return QStringList();
}

std::shared_ptr<JsonList> JsonValue::list() const
{
    const auto* l = std::get_if<std::shared_ptr<JsonList>>(&m_data);
    return l ? *l : nullptr;
}

std::shared_ptr<JsonDictionary> JsonValue::dictionary() const
{
    const auto* d = std::get_if<std::shared_ptr<JsonDictionary>>(&m_data);
    return d ? *d : nullptr;
}
