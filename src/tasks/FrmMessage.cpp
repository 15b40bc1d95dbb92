#include "tasks/FrmMessage.h"

#include "platform/SoundPlayer.h"
#include "shell/Twips.h"
#include "widgets/Controls.h"
#include "widgets/Surface.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>

namespace {
const QColor kDarkGrey(64, 64, 64);
const QColor kGrey(128, 128, 128);
} // namespace

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
    m_confirmLabel = new QLabel(QStringLiteral(" 确定 "), m_confirm);
    m_confirmLabel->setObjectName(QStringLiteral("LblConfirm"));
    const QFont font = Controls::font(QStringLiteral("微软雅黑"), 10.5);
    m_confirmLabel->setFont(font);
    m_confirmLabel->setAutoFillBackground(true);
    m_confirmLabel->setMouseTracking(true);
    m_confirmLabel->installEventFilter(this);
    m_confirmLabel->adjustSize();
    m_confirm->setFixedSize(m_confirmLabel->width() + Twips::toPx(600),
                            m_confirmLabel->height() + Twips::toPx(180));

    m_message = new QLabel(message, panel);
    m_message->setObjectName(QStringLiteral("LblMessage"));
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_message->setFont(font);
    m_message->setMouseTracking(true);
    m_message->installEventFilter(this);
    QPalette mp = m_message->palette();
    mp.setColor(QPalette::WindowText, kDarkGrey);
    m_message->setPalette(mp);

    const double panelW = Twips::fromPx(panel->width());
    const double panelH = Twips::fromPx(panel->height());
    m_message->setGeometry(Twips::toPx(120), Twips::toPx(120), Twips::toPx(panelW - 240),
                           Twips::toPx(panelH - 360 - Twips::fromPx(m_confirmLabel->height())));
    m_confirmLabel->move((m_confirm->width() - m_confirmLabel->width()) / 2,
                         (m_confirm->height() - m_confirmLabel->height()) / 2);
    m_confirm->move(panel->width() / 2 - m_confirm->width() / 2,
                    Twips::toPx(panelH - 180 - Twips::fromPx(m_confirm->height())));
    setConfirmHover(false);
    centreOn(parent);
}

void FrmMessage::setConfirmHover(bool hover)
{
    const QColor back = hover ? kGrey : Qt::white;
    m_confirm->setBackground(back);
    QPalette p = m_confirmLabel->palette();
    p.setColor(QPalette::Window, back);
    p.setColor(QPalette::WindowText, hover ? Qt::white : kDarkGrey);
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
    } else if ((watched == m_message || watched == interfacePanel()) && event->type() == QEvent::MouseMove) {
        setConfirmHover(false);
    }
    return SecondaryWindow::eventFilter(watched, event);
}

void FrmMessage::ShowMessage(QWidget* parent, SoundPlayer* sound, const QString& appFolder,
                             const QString& title, const QString& message)
{
    FrmMessage window(parent, title, message);
    if (sound)
        sound->playWav(appFolder + QStringLiteral("/Sounds/Alarm.wav"), true);
    window.exec();
}
