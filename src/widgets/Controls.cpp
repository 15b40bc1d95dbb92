#include "widgets/Controls.h"

#include "widgets/SButton.h"

#include <QFrame>
#include <QLabel>

QFont Controls::font(const QString& family, double points)
{
    QFont f(family);
    f.setPointSizeF(points);
    return f;
}

QLabel* Controls::label(QWidget* parent, const QString& name, const QString& text, const QColor& color,
                        const QFont& font)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setFont(font);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, color);
    l->setPalette(p);
    l->adjustSize();
    return l;
}

QFrame* Controls::underline(QWidget* under, const QString& name)
{
    auto* line = new QFrame(under->parentWidget());
    line->setObjectName(name);
    line->setAutoFillBackground(true);
    QPalette p = line->palette();
    p.setColor(QPalette::Window, QColor(128, 128, 128));
    line->setPalette(p);
    line->setGeometry(under->x(), under->y() + under->height(), under->width(), 1);
    return line;
}

SButton* Controls::flatButton(QWidget* parent, const QString& name, const QString& caption, const QFont& font,
                              quint32 background, const QRect& geometry)
{
    auto* b = new SButton(parent);
    b->setObjectName(name);
    b->setColors(background, 0x808080, 0x404040);
    b->setBorderStyle(1);
    b->setCaption(caption);
    b->setFont(font);
    b->setGeometry(geometry);
    b->setFixedSize(geometry.size());
    return b;
}
