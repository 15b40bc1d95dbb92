// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ServiceModule.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace {
struct Loaded
{
    ServiceModule* module = nullptr;
    QString error;
};

Loaded load()
{
    Loaded result;
    QStringList tried;
    for (const QString& folder : ServiceModule::searchFolders()) {
        const QString path = QDir(folder).filePath(ServiceModule::fileName());
        if (!QFileInfo::exists(path)) {
            tried << path;
            continue;
        }
        // Never unloaded: the services hand out objects whose code lives in the module.
        auto* library = new QLibrary(path);
        using Entry = ServiceModule* (*)();
        const auto entry = reinterpret_cast<Entry>(library->resolve(ServiceModule::EntryPoint));
        if (entry && (result.module = entry())) {
            result.error.clear();
            return result;
        }
        result.error = library->errorString();
        delete library;
        return result;
    }
    result.error = QStringLiteral("not found: ") + tried.join(QStringLiteral(", "));
    return result;
}

Loaded& loaded()
{
    static Loaded state = load();
    return state;
}

bool g_asked = false;
} // namespace

ServiceModule* ServiceModule::instance()
{
    g_asked = true;
    return loaded().module;
}

bool ServiceModule::isLoaded()
{
    return g_asked && loaded().module;
}

QString ServiceModule::errorString()
{
    return g_asked ? loaded().error : QString();
}

QStringList ServiceModule::searchFolders()
{
    const QString executableFolder = QCoreApplication::applicationDirPath();
    return {executableFolder,
            QDir::cleanPath(executableFolder + QStringLiteral("/" VEMRA_RELATIVE_MODULEDIR))};
}

QString ServiceModule::fileName()
{
    return QStringLiteral(VEMRA_SERVICE_MODULE);
}
