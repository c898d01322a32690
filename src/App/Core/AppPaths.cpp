#include "App/Core/AppPaths.h"

#include "Platform/Files/CheckedWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace AppPaths {

QString supportDirFor(const QString &home, const QString &xdgDataHome)
{
    // XDG says a relative XDG_DATA_HOME is invalid and must be ignored.
    const QString dataHome = QDir::isAbsolutePath(xdgDataHome) ? xdgDataHome : home + QStringLiteral("/.local/share");
    return QDir::cleanPath(dataHome + QStringLiteral("/Corvane"));
}

void ensurePrivateDirectory(const QString &path)
{
    if (QFileInfo(path).isDir())
        return;
    QDir().mkpath(path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

std::optional<QString> seedIfMissing(const QString &resource, const QString &ext, const QString &destination)
{
    if (QFileInfo::exists(destination))
        return std::nullopt;
    QFile source(QStringLiteral(":/seed/%1.%2").arg(resource, ext));
    if (!source.open(QIODevice::ReadOnly))
        return std::nullopt;
    return CheckedWrite::replaceFile(destination, source.readAll());
}

} // namespace AppPaths
