// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "translate/JsonValue.h"

#include <vector>

/// A JSON array: values in document order, addressed from 1.
class JsonList
{
public:
    /// Number of elements.
    int count() const { return int(m_items.size()); }
    /// Element at a 1-based index; empty (and *ok false) when out of range.
    JsonValue item(int oneBased, bool* ok = nullptr) const;
    /// Adds a value at the end.
    void append(JsonValue value) { m_items.push_back(std::move(value)); }
    /// Removes every element (also what breaks a list that holds itself).
    void clear() { m_items.clear(); }
    /// Makes room for this many elements in all.
    void reserve(int count) { m_items.reserve(size_t(count)); }
    /// All elements, first to last.
    const std::vector<JsonValue>& items() const { return m_items; }

private:
    std::vector<JsonValue> m_items;
};
