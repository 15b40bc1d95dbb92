// SPDX-License-Identifier: GPL-3.0-or-later
#include "translate/JsonDictionary.h"

namespace {

// Below this many pairs a straight scan beats hashing every key.
constexpr int IndexThreshold = 8;

} // namespace

QString JsonDictionary::duplicateKeyDescription()
{
    return QStringLiteral("This key is already associated with an element of this collection");
}

bool JsonDictionary::add(const QString& key, JsonValue value)
{
    if (indexOf(key) >= 0)
        return false;
    // Most objects are small: one allocation covers them instead of three growth steps.
    if (m_entries.empty())
        m_entries.reserve(4);
    m_entries.emplace_back(key, std::move(value));
    const int size = int(m_entries.size());
    if (size == IndexThreshold) {
        m_index.reserve(size * 2);
        for (int i = 0; i < size; ++i)
            m_index.insert(m_entries[size_t(i)].first, i);
    } else if (size > IndexThreshold) {
        m_index.insert(key, size - 1);
    }
    return true;
}

JsonValue JsonDictionary::value(const QString& key, bool* ok) const
{
    const int i = indexOf(key);
    if (ok)
        *ok = i >= 0;
    return i >= 0 ? m_entries[size_t(i)].second : JsonValue();
}

QStringList JsonDictionary::keys() const
{
    QStringList result;
    result.reserve(count());
    for (const auto& entry : m_entries)
        result.append(entry.first);
    return result;
}

int JsonDictionary::indexOf(const QString& key) const
{
    if (int(m_entries.size()) >= IndexThreshold)
        return m_index.value(key, -1);
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].first == key)
            return int(i);
    }
    return -1;
}
