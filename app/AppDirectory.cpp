#include "AppDirectory.h"

#include <QCoreApplication>

namespace {
QString g_override;
}

QString AppDirectory::path()
{
    return g_override.isEmpty() ? QCoreApplication::applicationDirPath() : g_override;
}

QString AppDirectory::filePath(const QString &name)
{
    return path() + QLatin1Char('/') + name;
}

void AppDirectory::setOverride(const QString &dir)
{
    g_override = dir;
}
