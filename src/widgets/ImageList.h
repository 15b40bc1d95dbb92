// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QPixmap>

/// The image list ILM: 19 pictures of 16 x 16 logical pixels, indexed from 1, drawn as vectors so
/// they stay crisp at any device pixel ratio. Normal pictures are a grey glyph on white; each hover
/// picture is the same glyph on light grey (240), except 16, a white cross on red.
namespace ImageList {
constexpr int Count = 19;
constexpr int Size = 16;
/// Picture index (1..19) at the given device pixel ratio; a null pixmap for other indexes.
QPixmap picture(int index, qreal devicePixelRatio = 1.0);
/// The same picture as an icon that renders itself at whatever ratio the screen asks for.
QIcon icon(int index);
} // namespace ImageList
