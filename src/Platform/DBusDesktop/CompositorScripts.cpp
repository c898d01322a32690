#include "Platform/DBusDesktop/CompositorScripts.h"

#include "Platform/Files/CheckedWrite.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace {

const QString kwinService = QStringLiteral("org.kde.KWin");
const QString shellService = QStringLiteral("org.gnome.Shell");
const QString scripting = QStringLiteral("org.kde.kwin.Scripting");
constexpr int callTimeoutMs = 3000;
// GNOME Shell's ExtensionState: 1 is enabled (ACTIVE), 3 an error, 4 out of date.
constexpr int shellStateEnabled = 1;
constexpr int shellStateError = 3;
constexpr int shellStateOutOfDate = 4;

QByteArray resource(const QString &name)
{
    QFile file(QStringLiteral(":/corvane/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes one shipped file to path; the reason when it cannot.
std::optional<QString> writeResource(const QString &name, const QString &path)
{
    const QByteArray bytes = resource(name);
    if (bytes.isEmpty())
        return QStringLiteral("Corvane was built without %1.").arg(name);
    if (!QDir().mkpath(QFileInfo(path).path()))
        return QStringLiteral("cannot create %1").arg(QFileInfo(path).path());
    return CheckedWrite::replaceFile(path, bytes, CheckedWrite::ownerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther);
}

QDBusMessage call(QDBusConnection &bus, const QString &service, const QString &path, const QString &interface,
                  const QString &method, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return bus.call(message, QDBus::BlockWithGui, callTimeoutMs);
}

bool registered(QDBusConnection &bus, const QString &service)
{
    return bus.interface() && bus.interface()->isServiceRegistered(service).value();
}

QVariantMap extensionInfo(QDBusConnection &bus)
{
    const QDBusMessage reply = call(bus, shellService, QStringLiteral("/org/gnome/Shell"),
                                    QStringLiteral("org.gnome.Shell.Extensions"), QStringLiteral("GetExtensionInfo"),
                                    {GnomeShellExtension::uuid});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return qdbus_cast<QVariantMap>(reply.arguments().constFirst());
}

} // namespace

namespace KWinScript {

std::optional<QString> load(QDBusConnection bus)
{
    if (!registered(bus, kwinService))
        return QStringLiteral("KWin is not on the session bus, so its script cannot be loaded.");
    const QString path = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
        + QStringLiteral("/corvane/corvane-dock.js");
    if (const auto failed = writeResource(QStringLiteral("kwin/corvane-dock.js"), path))
        return QStringLiteral("The KWin script could not be written: %1.").arg(*failed);
    unload(bus);
    const QDBusMessage loaded =
        call(bus, kwinService, QStringLiteral("/Scripting"), scripting, QStringLiteral("loadScript"), {path, pluginName});
    if (loaded.type() != QDBusMessage::ReplyMessage || loaded.arguments().value(0).toInt() < 0)
        return QStringLiteral("KWin did not load the script %1 (%2).")
            .arg(path, loaded.errorMessage().isEmpty() ? QStringLiteral("it answered no script id") : loaded.errorMessage());
    const QDBusMessage started = call(bus, kwinService, QStringLiteral("/Scripting"), scripting, QStringLiteral("start"), {});
    if (started.type() != QDBusMessage::ReplyMessage)
        return QStringLiteral("KWin did not start the script (%1).").arg(started.errorMessage());
    return std::nullopt;
}

void unload(QDBusConnection bus)
{
    call(bus, kwinService, QStringLiteral("/Scripting"), scripting, QStringLiteral("unloadScript"), {pluginName});
}

} // namespace KWinScript

namespace GnomeShellExtension {

QString installFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/gnome-shell/extensions/") + uuid;
}

QString enableCommand() { return QStringLiteral("gnome-extensions enable ") + uuid; }

QString problem(QDBusConnection bus)
{
    const bool installed = QFileInfo::exists(installFolder() + QStringLiteral("/metadata.json"));
    if (!installed)
        return QStringLiteral("The Corvane GNOME Shell extension is not installed.");
    if (!registered(bus, shellService))
        return QStringLiteral("GNOME Shell is not on the session bus.");
    const QVariantMap info = extensionInfo(bus);
    if (info.isEmpty())
        return QStringLiteral("The Corvane GNOME Shell extension is installed, but GNOME Shell has not seen it yet: "
                              "log out and in again, then run: %1")
            .arg(enableCommand());
    const int state = info.value(QStringLiteral("state")).toInt();
    if (state == shellStateError || state == shellStateOutOfDate)
        return QStringLiteral("GNOME Shell could not run the Corvane extension (%1).")
            .arg(info.value(QStringLiteral("error"), QStringLiteral("this GNOME version is not supported")).toString());
    if (state != shellStateEnabled)
        return QStringLiteral("The Corvane GNOME Shell extension is installed but not enabled. Run: %1").arg(enableCommand());
    return {};
}

InstallOutcome install(QDBusConnection bus)
{
    for (const char *file : {"metadata.json", "extension.js"}) {
        const QString name = QString::fromLatin1(file);
        if (const auto failed = writeResource(QStringLiteral("gnome-shell/") + uuid + u'/' + name,
                                              installFolder() + u'/' + name))
            return {false, QStringLiteral("The extension could not be installed: %1.").arg(*failed)};
    }
    const QDBusMessage reply = call(bus, shellService, QStringLiteral("/org/gnome/Shell"),
                                    QStringLiteral("org.gnome.Shell.Extensions"), QStringLiteral("EnableExtension"), {uuid});
    const QString left = problem(bus);
    if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool() && left.isEmpty())
        return {true, QStringLiteral("The Corvane GNOME Shell extension is installed and enabled.")};
    return {false, QStringLiteral("The extension is installed in %1. %2").arg(installFolder(), left)};
}

} // namespace GnomeShellExtension
