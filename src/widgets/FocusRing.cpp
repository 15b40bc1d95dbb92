// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/FocusRing.h"

#include "widgets/DevicePixels.h"
#include "widgets/Palette.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QWidget>

namespace {

// The outline stands one pixel clear of the control: drawn on the control itself it would vanish
// into a switch whose track is the same grey, or cover a flat button's own outline.
constexpr int kGap = 2;

class RingWidget : public QWidget
{
public:
    explicit RingWidget(QWidget* parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("FocusRing"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        DevicePixels::drawOutline(painter, rect(), Palette::grey);
    }
};

// The buttons, switches and choices draw no focus of their own; a list shows its selection but
// nothing while none is selected. Text boxes show their caret.
bool carriesRing(const QWidget* w)
{
    return w && (w->inherits("ImageButton") || w->inherits("SButton") || w->inherits("SSwitch") ||
                 w->inherits("ClickLabel") || w->inherits("ListBoxW"));
}

class Watcher : public QObject
{
public:
    Watcher()
    {
        qApp->installEventFilter(this);
        connect(qApp, &QApplication::focusChanged, this, [this] { place(); });
    }

    bool keyboard = false;
    QPointer<RingWidget> ringWidget;

    void place()
    {
        QWidget* focus = QApplication::focusWidget();
        if (!keyboard || !carriesRing(focus) || !focus->parentWidget() || !focus->isVisible()) {
            if (ringWidget)
                ringWidget->hide();
            return;
        }
        if (!ringWidget || ringWidget->parentWidget() != focus->parentWidget()) {
            delete ringWidget;
            ringWidget = new RingWidget(focus->parentWidget());
        }
        ringWidget->setGeometry(focus->geometry().adjusted(-kGap, -kGap, kGap, kGap));
        ringWidget->raise();
        ringWidget->show();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
            switch (static_cast<QKeyEvent*>(event)->key()) {
            case Qt::Key_Tab:
            case Qt::Key_Backtab:
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_Left:
            case Qt::Key_Right:
                if (!keyboard) {
                    keyboard = true;
                    place();
                }
                break;
            default:
                break;
            }
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            if (keyboard) {
                keyboard = false;
                place();
            }
            break;
        case QEvent::Hide:
        case QEvent::Move:
        case QEvent::Resize:
            // The focused control went away or moved: the outline follows (or goes).
            if (ringWidget && watched == QApplication::focusWidget())
                place();
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }
};

Watcher* watcher()
{
    static Watcher* w = [] {
        auto* created = new Watcher;
        created->setParent(qApp);
        return created;
    }();
    return w;
}

} // namespace

void FocusRing::install()
{
    watcher();
}

bool FocusRing::keyboardInUse()
{
    return watcher()->keyboard;
}

QWidget* FocusRing::ring()
{
    RingWidget* r = watcher()->ringWidget;
    return r && r->isVisible() ? r : nullptr;
}
