// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "widgets/ImageButton.h"

/// The hover marks of image buttons. One-state buttons: Tag "0" shows the normal picture, "1" the
/// hover picture. Two-state buttons: the first digit is the state, the second the hover mark.
namespace HoverTags {
inline void hover(ImageButton* button, int hoverPicture)
{
    if (button->tag() == QLatin1String("0")) {
        button->setPicture(hoverPicture);
        button->setTag(QStringLiteral("1"));
    }
}

inline void reset(ImageButton* button, int normalPicture)
{
    if (button->tag() == QLatin1String("1")) {
        button->setPicture(normalPicture);
        button->setTag(QStringLiteral("0"));
    }
}

inline void hoverTwoState(ImageButton* button, int hoverState0, int hoverState1)
{
    if (button->tag() == QLatin1String("00")) {
        button->setPicture(hoverState0);
        button->setTag(QStringLiteral("01"));
    } else if (button->tag() == QLatin1String("10")) {
        button->setPicture(hoverState1);
        button->setTag(QStringLiteral("11"));
    }
}

inline void resetTwoState(ImageButton* button, int normalState0, int normalState1)
{
    if (button->tag() == QLatin1String("01")) {
        button->setPicture(normalState0);
        button->setTag(QStringLiteral("00"));
    } else if (button->tag() == QLatin1String("11")) {
        button->setPicture(normalState1);
        button->setTag(QStringLiteral("10"));
    }
}
} // namespace HoverTags
