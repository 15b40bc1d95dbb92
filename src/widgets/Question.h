// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QWidget;

/// A question with two answers in a window of its own, waited for. Its buttons carry object names, so
/// tests answer it by pressing them.
namespace Question {

struct Answer
{
    QString caption;
    QString objectName;
};

/// Which answer Return gives; Escape and closing the window always give "no".
enum class Default
{
    Yes,
    No
};

/// True when "yes" was pressed. The text is shown as it is, never as markup: it may quote a file
/// someone else wrote.
bool ask(QWidget* parent, const QString& objectName, const QString& title, const QString& text,
         const Answer& yes, const Answer& no, Default byDefault);

} // namespace Question
