// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/Question.h"

#include <QMessageBox>
#include <QPushButton>

bool Question::ask(QWidget* parent, const QString& objectName, const QString& title, const QString& text,
                   const Answer& yes, const Answer& no, Default byDefault)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::NoButton, parent);
    box.setObjectName(objectName);
    box.setTextFormat(Qt::PlainText);
    QPushButton* yesButton = box.addButton(yes.caption, QMessageBox::AcceptRole);
    yesButton->setObjectName(yes.objectName);
    QPushButton* noButton = box.addButton(no.caption, QMessageBox::RejectRole);
    noButton->setObjectName(no.objectName);
    box.setDefaultButton(byDefault == Default::Yes ? yesButton : noButton);
    box.setEscapeButton(noButton);
    // Told by the click itself: a test's closer may close the window after the answer.
    bool yesChosen = false;
    QObject::connect(yesButton, &QPushButton::clicked, &box, [&yesChosen] { yesChosen = true; });
    box.exec();
    return yesChosen;
}
