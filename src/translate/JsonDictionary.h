// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "translate/JsonValue.h"

#include <QHash>
#include <utility>
#include <vector>

/// A JSON object: unique, case-sensitive text keys kept in insertion order.
class JsonDictionary
{
public:
    /// The failure text of adding a key that is already present.
    static QString duplicateKeyDescription();

    /// Number of pairs.
    int count() const { return int(m_entries.size()); }
    /// Adds a pair at the end; false (and nothing changes) when the key is already present.
    bool add(const QString& key, JsonValue value);
    bool contains(const QString& key) const { return indexOf(key) >= 0; }
    /// Value of the key; empty (and *ok false) when absent.
    JsonValue value(const QString& key, bool* ok = nullptr) const;
    /// Keys in insertion order.
    QStringList keys() const;
    /// All pairs in insertion order.
    const std::vector<std::pair<QString, JsonValue>>& entries() const { return m_entries; }

private:
    int indexOf(const QString& key) const;

    std::vector<std::pair<QString, JsonValue>> m_entries;
    // Small objects are searched in order; the index is only built once an object grows.
    QHash<QString, int> m_index;
};
