// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "widgets/SecondaryWindow.h"

class QLabel;

/// The About window: logo, version line and maker line, centred on the main window.
class FrmAbout : public SecondaryWindow
{
    Q_OBJECT

public:
    /// note is one more line under the others (the working-day calendar's years); "" for none.
    explicit FrmAbout(QWidget* mainWindow, const QString& note = QString());
    /// "版本号：" + major.minor.0.revision of this build.
    static QString versionLine();
};
