// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/SecondaryWindow.h"

#include "widgets/Artwork.h"
#include "widgets/ClickLabel.h"
#include "widgets/Controls.h"
#include "widgets/Surface.h"
#include "widgets/Twips.h"

#include <QEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QWindow>

SecondaryWindow::SecondaryWindow(QWidget* parent, const QSize& innerTwips, bool withClosePicture)
    : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setModal(true);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setMouseTracking(true);
    setFixedSize(Twips::toPx(innerTwips.width()), Twips::toPx(innerTwips.height()));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(128, 128, 128));
    setPalette(p);

    const double W = innerTwips.width();
    const double H = innerTwips.height();

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("LblFormTitle"));
    // The title is often a task's own text: shown as typed, never read as markup.
    m_title->setTextFormat(Qt::PlainText);
    const QFont titleFont = Controls::font(QStringLiteral("微软雅黑"), 9);
    m_title->setFont(titleFont);
    QPalette tp = m_title->palette();
    tp.setColor(QPalette::WindowText, Qt::white);
    m_title->setPalette(tp);
    m_title->setGeometry(Twips::toPx(120), 0, Twips::toPx(W - 720), Twips::toPx(330));
    m_title->installEventFilter(this);

    if (withClosePicture) {
        m_close = new ClickLabel(QString(), this);
        m_close->setObjectName(QStringLiteral("PicClose"));
        m_close->unsetCursor();
        m_close->setAccessibleName(QStringLiteral("关闭"));
        // The pointer's release is handled by the filter below; the keyboard presses it too.
        connect(m_close, &ClickLabel::clicked, this, &QDialog::reject);
        m_close->setFixedSize(16, 16);
        m_close->setMouseTracking(true);
        m_close->installEventFilter(this);
        m_close->move(Twips::toPx(W - Twips::fromPx(m_close->width()) - 30), Twips::toPx(15));
        setClosePicture(1);
    }

    m_interface = new Surface(this, Qt::white);
    m_interface->setObjectName(QStringLiteral("PicInterface"));
    m_interface->setGeometry(Twips::toPx(15), Twips::toPx(330), Twips::toPx(W - 30), Twips::toPx(H - 345));
}

int SecondaryWindow::showAndWait()
{
    setModal(false);
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    // Test helpers close windows that wait like this one, as they close modal ones.
    setProperty("waitsForAnswer", true);
    setResult(0);
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    show();
    if (isVisible())
        loop.exec(QEventLoop::DialogExec);
    return result();
}

void SecondaryWindow::setClosePicture(int index)
{
    if (!m_close || m_closePicture == index)
        return;
    m_closePicture = index;
    m_close->setPixmap(Artwork::closeImage(index, devicePixelRatioF()));
}

void SecondaryWindow::centreOn(const QWidget* other)
{
    if (!other)
        return;
    const QRect frame = other->window()->frameGeometry();
    move(frame.left() + frame.width() / 2 - width() / 2, frame.top() + frame.height() / 2 - height() / 2);
}

void SecondaryWindow::beginWindowDrag()
{
    if (QWindow* window = windowHandle())
        window->startSystemMove();
}

bool SecondaryWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_title && event->type() == QEvent::MouseButtonPress) {
        beginWindowDrag();
        return true;
    }
    if (watched == m_close) {
        if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter)
            setClosePicture(2);
        else if (event->type() == QEvent::MouseButtonRelease) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (m_close->rect().contains(mouse->position().toPoint()))
                reject();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void SecondaryWindow::mousePressEvent(QMouseEvent* event)
{
    if (!childAt(event->position().toPoint()))
        beginWindowDrag();
    event->accept();
}

void SecondaryWindow::keyPressEvent(QKeyEvent* event)
{
    // QDialog closes on Escape; these windows only do when they say so.
    if (event->matches(QKeySequence::Cancel) && !m_closesOnEscape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void SecondaryWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (!childAt(event->position().toPoint()))
        setClosePicture(1);
    event->accept();
}
