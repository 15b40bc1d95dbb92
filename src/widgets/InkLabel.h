// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>

/// A one-line caption placed by what it draws. The CJK fonts of Linux have a line box much taller
/// than their glyphs, so a caption centred by its line box sits visibly low; this label centres the
/// glyphs' ink instead, on whole device pixels at any scale. Word-wrapped or multi-line texts are
/// drawn as a plain label draws them.
class InkLabel : public QLabel
{
    Q_OBJECT

public:
    explicit InkLabel(const QString& text = QString(), QWidget* parent = nullptr);

    /// Centre the ink on the parent widget rather than on the label itself, leaving insetPixels
    /// device pixels of the parent's edge alone (where its outline is drawn).
    void centreOnParent(int insetPixels);
    /// The size of the ink at scale 1 plus one pixel of room on every side for its antialiased edge.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool drawsItself() const;

    bool m_onParent = false;
    int m_inset = 0;
};
