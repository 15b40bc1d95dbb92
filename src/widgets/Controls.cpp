// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/Controls.h"

#include "widgets/InkLabel.h"
#include "widgets/SButton.h"

#include <QFontDatabase>
#include <QFrame>
#include <QHash>
#include <QLabel>

namespace {
const QStringList& chineseFallbacks()
{
    static const QStringList fallbacks = {
        QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Source Han Sans SC"),
        QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("WenQuanYi Zen Hei"),
        QStringLiteral("Droid Sans Fallback")};
    return fallbacks;
}

// The windows ask for the Chinese system fonts by name; on Linux the CJK fonts of the machine stand in
// for them, the same ones wherever a window is built (the application, a test, a benchmark). A font
// asked for by a name the machine lacks fails to match and has fontconfig search for fallbacks at
// every size, and even a list of stand-ins has the fallbacks of the rest looked up; so the names are
// resolved once, to the first stand-in that is installed, and the fonts name that family alone.
bool isChineseSystemFamily(const QString& family)
{
    static const bool substituted = [] {
        for (const QString& name : {QStringLiteral("黑体"), QStringLiteral("微软雅黑")})
            QFont::insertSubstitutions(name, chineseFallbacks());
        return true;
    }();
    Q_UNUSED(substituted);
    return family == QStringLiteral("黑体") || family == QStringLiteral("微软雅黑");
}

void setChineseFamily(QFont& font)
{
    static const QString installed = [] {
        // The list of families, not hasFamily(): that asks fontconfig to resolve each name as an
        // alias, which costs as much as the match this avoids.
        const QStringList families = QFontDatabase::families();
        for (const QString& name : chineseFallbacks()) {
            if (families.contains(name))
                return name;
        }
        return QString();
    }();
    if (installed.isEmpty())
        font.setFamilies(chineseFallbacks()); // none installed: let fontconfig pick what it can
    else
        font.setFamily(installed);
}
} // namespace

QFont Controls::font(const QString& family, double points)
{
    // One font per family and size, shared: a copy of a QFont shares its resolved engine.
    static QHash<QPair<QString, double>, QFont> fonts;
    const auto key = qMakePair(family, points);
    auto found = fonts.constFind(key);
    if (found == fonts.cend()) {
        QFont f;
        if (isChineseSystemFamily(family))
            setChineseFamily(f);
        else
            f.setFamily(family);
        f.setPointSizeF(points);
        found = fonts.insert(key, f);
    }
    return *found;
}

QLabel* Controls::label(QWidget* parent, const QString& name, const QString& text, const QColor& color,
                        const QFont& font)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setTextFormat(Qt::PlainText);
    l->setFont(font);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, color);
    l->setPalette(p);
    l->adjustSize();
    return l;
}

InkLabel* Controls::caption(QWidget* parent, const QString& name, const QString& text, const QColor& color,
                            const QFont& font, const QRect& geometry)
{
    auto* l = new InkLabel(text, parent);
    l->setObjectName(name);
    l->setFont(font);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, color);
    l->setPalette(p);
    l->setGeometry(geometry);
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
    // The font first: a caption set before it would be measured and shaped in the default font too.
    b->setFont(font);
    b->setCaption(caption);
    b->setGeometry(geometry);
    b->setFixedSize(geometry.size());
    return b;
}
