// SPDX-License-Identifier: GPL-3.0-or-later
#include "tasks/FrmMusic.h"

#include "platform/MediaPlayer.h"
#include "widgets/ClickLabel.h"
#include "widgets/Controls.h"
#include "widgets/Surface.h"
#include "widgets/Twips.h"

#include <QKeyEvent>
#include <QLabel>
#include <array>

FrmMusic::FrmMusic(QWidget* parent, MediaPlayerFactory* media, int taskIndex, const QString& path,
                   std::function<void(int)> snooze)
    : SecondaryWindow(parent, QSize(3165, 1425), false), m_snooze(std::move(snooze))
{
    setObjectName(QStringLiteral("FrmMusic"));
    setWindowTitle(QStringLiteral("提醒"));
    setProperty("Tag", QString::number(taskIndex));
    titleLabel()->setText(QStringLiteral("提醒"));

    Surface* panel = interfacePanel();
    const QStringList captions = {QStringLiteral(" 关闭提醒 "), QStringLiteral(" 延时5分钟 ")};
    const QFont font = Controls::font(QStringLiteral("微软雅黑"), 9);
    const int gap = Twips::toPx(240);
    std::array<ClickLabel*, 2> buttons{};
    for (int i = 0; i < 2; ++i) {
        auto* button = new ClickLabel(captions[i], panel);
        button->setObjectName(QStringLiteral("Label1_%1").arg(i));
        button->setFont(font);
        button->setChosen(false);
        button->setOutline(QColor(64, 64, 64));
        button->adjustSize();
        connect(button, &ClickLabel::mouseMoved, button, [button] { button->setChosen(true); });
        connect(panel, &Surface::bareMouseMove, button, [button] { button->setChosen(false); });
        buttons[i] = button;
    }
    // The pair is centred in the panel, both ways.
    int left = (panel->width() - buttons[0]->width() - gap - buttons[1]->width()) / 2;
    for (ClickLabel* button : buttons) {
        button->move(left, (panel->height() - button->height()) / 2);
        left += button->width() + gap;
    }
    connect(buttons[0], &ClickLabel::clicked, this, &QDialog::accept);
    connect(buttons[1], &ClickLabel::clicked, this, [this] {
        if (m_snooze)
            m_snooze(property("Tag").toString().toInt());
        accept();
    });
    buttons[0]->setFocus();
    centreOn(parent);
    m_player = media->create();
    m_player->play(path, 0.5f);
}

FrmMusic::~FrmMusic()
{
    if (m_player && !m_stopped)
        m_player->stop();
}

void FrmMusic::setNote(const QString& note)
{
    titleLabel()->setText(QStringLiteral("提醒（%1）").arg(note));
}

void FrmMusic::done(int result)
{
    // Every way out passes here: the two buttons and the window system's close request.
    if (m_player && !m_stopped) {
        m_player->stop();
        m_stopped = true;
    }
    SecondaryWindow::done(result);
}

void FrmMusic::keyPressEvent(QKeyEvent* event)
{
    // " 关闭提醒 " is the default button.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier)) {
        accept();
        return;
    }
    SecondaryWindow::keyPressEvent(event);
}

void FrmMusic::ShowMusicReminder(QWidget* parent, MediaPlayerFactory* media, int taskIndex,
                                 const QString& path, std::function<void(int)> snooze,
                                 const std::function<void(QDialog*)>& opened)
{
    FrmMusic window(parent, media, taskIndex, path, std::move(snooze));
    if (opened)
        opened(&window);
    window.showAndWait();
}
