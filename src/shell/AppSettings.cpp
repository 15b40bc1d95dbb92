// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/AppSettings.h"

#include "shell/IniFile.h"
#include "text/VbNumber.h"
#include "widgets/Twips.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include <cmath>

namespace {
const QString kSection = QStringLiteral("General");

// A hand-edited value may be anything; keep it a number the window system can take.
int toPixels(double value)
{
    if (!std::isfinite(value))
        return 0;
    return int(std::clamp(value, -100000.0, 100000.0));
}
} // namespace

QString firstRunConfigText(const QSize& screenPx, const QSize& windowPx)
{
    // Computed in twips as the window system reports them: centred across, a quarter down.
    const double left = Twips::fromPx(screenPx.width()) / 30.0 - Twips::fromPx(windowPx.width()) / 30.0;
    const double top = Twips::fromPx(screenPx.height()) / 60.0;
    return QStringLiteral("[General]\r\nLeft = %1\r\nTop = %2\r\nAutoRun = 0\r\nAutoSave = 0\r\n")
        .arg(formatSingle(left), formatSingle(top));
}

WindowPlacement loadSettings(const QString& iniPath, const QSize& screenPx, const QSize& windowPx,
                             bool* autoRun, bool* autoSave, std::optional<bool>* keepTasks)
{
    WindowPlacement placement;
    const QFileInfo config(iniPath);
    if (config.isSymLink()) {
        // Someone else's file may stand behind it (a shell profile): neither read nor written, and
        // the first save replaces the link with a Config.ini of our own.
        placement.ignoredLinkTarget = config.symLinkTarget();
        if (placement.ignoredLinkTarget.isEmpty())
            placement.ignoredLinkTarget = iniPath;
    } else if (!config.exists()) {
        // Defaults, not something the user chose: not worth waiting for the disk at a first start.
        // Keys that a crash left out of the file read as defaults.
        const QByteArray text = firstRunConfigText(screenPx, windowPx).toLatin1();
        QFile file(iniPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return placement;
        if (file.write(text) != text.size() || !file.flush()) {
            file.remove();
            return placement;
        }
    }
    placement.configReady = true;
    const QString defaultLeft = formatSingle((screenPx.width() - windowPx.width()) / 2.0);
    const QString defaultTop = formatSingle((screenPx.height() - windowPx.height()) / 2.0);
    // A sentinel default tells a missing KeepTasks from one present with any value.
    const QString missing = QStringLiteral("\x01");
    const QStringList values = ReadIniValues(iniPath, kSection,
                                             {{QStringLiteral("Left"), defaultLeft},
                                              {QStringLiteral("Top"), defaultTop},
                                              {QStringLiteral("AutoRun"), QStringLiteral("0")},
                                              {QStringLiteral("AutoSave"), QStringLiteral("0")},
                                              {QStringLiteral("KeepTasks"), missing}});
    // Stored in pixels; the window system takes whole pixels.
    placement.left = toPixels(Val(values.at(0)));
    placement.top = toPixels(Val(values.at(1)));
    *autoRun = Val(values.at(2)) != 0;
    *autoSave = Val(values.at(3)) != 0;
    *keepTasks = values.at(4) == missing ? std::nullopt : std::optional<bool>(Val(values.at(4)) != 0);
    return placement;
}

void saveSettings(const QString& iniPath, std::optional<QPoint> windowPx, bool autoRun, bool autoSave,
                  std::optional<bool> keepTasks)
{
    QList<QPair<QString, QString>> values;
    if (windowPx) {
        values.append({QStringLiteral("Left"), formatSingle(windowPx->x())});
        values.append({QStringLiteral("Top"), formatSingle(windowPx->y())});
    }
    values.append({QStringLiteral("AutoRun"), autoRun ? QStringLiteral("1") : QStringLiteral("0")});
    values.append({QStringLiteral("AutoSave"), autoSave ? QStringLiteral("1") : QStringLiteral("0")});
    if (keepTasks)
        values.append({QStringLiteral("KeepTasks"), *keepTasks ? QStringLiteral("1") : QStringLiteral("0")});
    WriteIniValues(iniPath, kSection, values);
}
