#include "App/Core/AutostartEntry.h"

#include "Platform/Files/CheckedWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace AutostartEntry {

QString pathFor(const QString &home, const QString &xdgConfigHome)
{
    // The XDG rule: a relative XDG_CONFIG_HOME is invalid and ignored.
    const QString base = !xdgConfigHome.isEmpty() && QDir::isAbsolutePath(xdgConfigHome)
                             ? xdgConfigHome
                             : home + QStringLiteral("/.config");
    return base + QStringLiteral("/autostart/") + QLatin1String(appId) + QStringLiteral(".desktop");
}

QString path()
{
    return pathFor(qEnvironmentVariable("HOME", QDir::homePath()), qEnvironmentVariable("XDG_CONFIG_HOME"));
}

QString execArgument(const QString &execPath)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = false;
    for (const QChar c : execPath)
        needsQuotes = needsQuotes || reserved.contains(c);
    QString argument;
    if (!needsQuotes) {
        argument = execPath;
    } else {
        argument = QStringLiteral("\"");
        for (const QChar c : execPath) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
                argument += QLatin1Char('\\');
            argument += c;
        }
        argument += QLatin1Char('"');
    }
    // Field codes start with '%'; then the key's value is a string, whose backslashes are escaped.
    argument.replace(QLatin1Char('%'), QStringLiteral("%%"));
    argument.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return argument;
}

QString contents(const QString &execPath)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Corvane\n"
                          "Comment=Heads-up display for AI coding agents\n"
                          "Exec=%1\n"
                          "Icon=%2\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(execArgument(execPath), QLatin1String(appId));
}

bool isEnabled(const QString &entryPath) { return QFileInfo::exists(entryPath); }

std::optional<QString> enable(const QString &entryPath, const QString &execPath)
{
    const QString folder = QFileInfo(entryPath).absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("cannot create the directory %1").arg(folder);
    return CheckedWrite::replaceFile(entryPath, contents(execPath).toUtf8());
}

bool disable(const QString &entryPath) { return !QFileInfo::exists(entryPath) || QFile::remove(entryPath); }

} // namespace AutostartEntry
