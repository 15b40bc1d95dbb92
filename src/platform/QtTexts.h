// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QCoreApplication;

/// Qt's own texts (file dialogs, the text editors' context menu) in Simplified Chinese, like the
/// rest of the application, whatever the locale.
namespace QtTexts {
/// Loads Qt's Chinese translations into app; false when they are not installed (the package
/// qt6-translations-l10n), and Qt then speaks English.
bool installChinese(QCoreApplication* app);
} // namespace QtTexts
