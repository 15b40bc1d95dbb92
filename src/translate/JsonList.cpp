// SPDX-License-Identifier: GPL-3.0-or-later
#include "translate/JsonList.h"

JsonValue JsonList::item(int oneBased, bool* ok) const
{
    const bool inRange = oneBased >= 1 && oneBased <= count();
    if (ok)
        *ok = inRange;
    return inRange ? m_items[size_t(oneBased - 1)] : JsonValue();
}
