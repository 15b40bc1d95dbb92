// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

/// The designer's store of a control: property names with their values, in the order written.
using PropertyBag = QList<QPair<QString, QVariant>>;

namespace PropertyBags {

/// Value stored under name (names match without regard to case), or the default when missing.
inline QVariant read(const PropertyBag& bag, const QString& name, const QVariant& defaultValue)
{
    for (const auto& entry : bag) {
        if (entry.first.compare(name, Qt::CaseInsensitive) == 0)
            return entry.second;
    }
    return defaultValue;
}

/// Appends name = value, unless the value equals the default: defaults are never stored.
inline void write(PropertyBag& bag, const QString& name, const QVariant& value, const QVariant& defaultValue)
{
    if (value == defaultValue)
        return;
    bag.append({name, value});
}

/// Colour or other 32-bit value however it was stored (signed or unsigned).
inline quint32 toUInt32(const QVariant& value)
{
    return quint32(value.toLongLong() & 0xFFFFFFFFLL);
}

} // namespace PropertyBags
