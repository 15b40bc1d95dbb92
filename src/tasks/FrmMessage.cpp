// SPDX-License-Identifier: GPL-3.0-or-later
#include "tasks/FrmMessage.h"

#include "widgets/Palette.h"

#include "platform/SoundPlayer.h"
#include "widgets/ClickLabel.h"
#include "widgets/Controls.h"
#include "widgets/Surface.h"
#include "widgets/Twips.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollArea>

FrmMessage::FrmMessage(QWidget* parent, const QString& title, const QString& message)
    : SecondaryWindow(parent, QSize(5175, 3555), true)
{
    setObjectName(QStringLiteral("FrmMessage"));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setWindowTitle(title);
    titleLabel()->setText(title);

    Surface* panel = interfacePanel();
    panel->installEventFilter(this);

    m_confirm = new Surface(panel, Qt::white);
    m_confirm->setObjectName(QStringLiteral("PicConfirm"));
    m_confirmLabel = new ClickLabel(QStringLiteral(" 确定 "), m_confirm);
    m_confirmLabel->setObjectName(QStringLiteral("LblConfirm"));
    m_confirmLabel->unsetCursor();
    // The pointer's release is handled by the filter below; the keyboard presses it too.
    connect(m_confirmLabel, &ClickLabel::clicked, this, &QDialog::accept);
    const QFont font = Controls::font(QStringLiteral("微软雅黑"), 10.5);
    m_confirmLabel->setFont(font);
    m_confirmLabel->setAutoFillBackground(true);
    m_confirmLabel->setMouseTracking(true);
    m_confirmLabel->installEventFilter(this);
    m_confirmLabel->adjustSize();
    m_confirm->setFixedSize(m_confirmLabel->width() + Twips::toPx(600),
                            m_confirmLabel->height() + Twips::toPx(180));

    // The message scrolls inside an area that ends above the confirm button: a long prompt is
    // never hidden under the button or cut off without a sign.
    m_messageArea = new QScrollArea(panel);
    m_messageArea->setObjectName(QStringLiteral("LblMessageArea"));
    m_messageArea->setFrameShape(QFrame::NoFrame);
    m_messageArea->setWidgetResizable(true);
    m_messageArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_messageArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_messageArea->viewport()->setAutoFillBackground(false);
    m_messageArea->viewport()->setMouseTracking(true);
    m_messageArea->viewport()->installEventFilter(this);
    m_message = new QLabel(message);
    m_message->setObjectName(QStringLiteral("LblMessage"));
    // A reminder's prompt is the user's text: "<b>x</b>" or "a<br>b" is shown as typed.
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_message->setFont(font);
    m_message->setMouseTracking(true);
    m_message->installEventFilter(this);
    QPalette mp = m_message->palette();
    mp.setColor(QPalette::WindowText, Palette::darkGrey);
    m_message->setPalette(mp);
    m_messageArea->setWidget(m_message);

    const double panelW = Twips::fromPx(panel->width());
    const double panelH = Twips::fromPx(panel->height());
    const int confirmTop = Twips::toPx(panelH - 180 - Twips::fromPx(m_confirm->height()));
    const int messageTop = Twips::toPx(120);
    m_messageArea->setGeometry(Twips::toPx(120), messageTop, Twips::toPx(panelW - 240),
                               confirmTop - Twips::toPx(120) - messageTop);
    m_confirmLabel->move((m_confirm->width() - m_confirmLabel->width()) / 2,
                         (m_confirm->height() - m_confirmLabel->height()) / 2);
    m_confirm->move(panel->width() / 2 - m_confirm->width() / 2, confirmTop);
    setConfirmHover(false);
    // The message area takes no focus: the keyboard starts on the confirm button.
    m_messageArea->setFocusPolicy(Qt::NoFocus);
    m_confirmLabel->setFocus();
    centreOn(parent);
}

void FrmMessage::keyPressEvent(QKeyEvent* event)
{
    // The confirm button is the default button: Return closes the window wherever the focus is.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier)) {
        accept();
        return;
    }
    SecondaryWindow::keyPressEvent(event);
}

void FrmMessage::setConfirmHover(bool hover)
{
    const QColor back = hover ? Palette::grey : Qt::white;
    m_confirm->setBackground(back);
    QPalette p = m_confirmLabel->palette();
    p.setColor(QPalette::Window, back);
    p.setColor(QPalette::WindowText, hover ? Qt::white : Palette::darkGrey);
    m_confirmLabel->setPalette(p);
}

bool FrmMessage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_confirmLabel) {
        if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter)
            setConfirmHover(true);
        else if (event->type() == QEvent::MouseButtonRelease) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton &&
                m_confirmLabel->rect().contains(mouse->position().toPoint()))
                accept();
            return true;
        }
    } else if ((watched == m_message || (m_messageArea && watched == m_messageArea->viewport()) ||
                watched == interfacePanel()) &&
               event->type() == QEvent::MouseMove) {
        setConfirmHover(false);
    }
    return SecondaryWindow::eventFilter(watched, event);
}

void FrmMessage::ShowMessage(QWidget* parent, SoundPlayer* sound, const QString& resourceFolder,
                             const QString& title, const QString& message,
                             const std::function<void(QDialog*)>& opened)
{
    FrmMessage window(parent, title, message);
    sound->playWav(resourceFolder + QStringLiteral("/Sounds/Alarm.wav"), true);
    if (opened)
        opened(&window);
    window.showAndWait();
}
