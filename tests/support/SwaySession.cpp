#include "support/SwaySession.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QThread>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRect>

#include <csignal>
#include <functional>
#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const char *config = "xwayland enable\n"
                     "output HEADLESS-1 resolution 1600x1000 position 0 0\n"
                     "default_border normal 2\n"
                     "focus_on_window_activation focus\n";

bool waitUntil(const std::function<bool()> &predicate, std::chrono::milliseconds timeout)
{
    const QDeadlineTimer deadline(timeout);
    while (!predicate()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return true;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool giveTo(const QString &path, uid_t uid, gid_t gid) { return ::chown(QFile::encodeName(path).constData(), uid, gid) == 0; }

QJsonObject findView(const QJsonObject &node, const QString &appId)
{
    const QString id = node.value(u"app_id").toString();
    const QString cls = node.value(u"window_properties").toObject().value(u"class").toString();
    if (node.contains(u"pid") && (id == appId || cls == appId || node.value(u"name").toString() == appId))
        return node;
    for (const char16_t *children : {u"nodes", u"floating_nodes"}) {
        for (const QJsonValue &child : node.value(QStringView(children)).toArray()) {
            const QJsonObject found = findView(child.toObject(), appId);
            if (!found.isEmpty())
                return found;
        }
    }
    return {};
}

} // namespace

SwaySession::SwaySession() = default;

SwaySession::~SwaySession()
{
    for (auto &client : m_clients) {
        client->kill();
        client->waitForFinished(2000);
    }
    if (m_sway && m_sway->state() != QProcess::NotRunning) {
        command(QStringLiteral("exit"));
        if (!m_sway->waitForFinished(3000)) {
            m_sway->kill();
            m_sway->waitForFinished(2000);
        }
    }
}

QStringList SwaySession::asUser(const QString &program, const QStringList &arguments) const
{
    QStringList line;
    if (m_asNobody)
        line << QStringLiteral("setpriv") << QStringLiteral("--reuid=nobody") << QStringLiteral("--regid=nogroup")
             << QStringLiteral("--clear-groups") << QStringLiteral("--pdeathsig=KILL");
    return line << program << arguments;
}

QProcessEnvironment SwaySession::clientEnvironment() const
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH", QStringLiteral("/usr/bin:/bin")));
    environment.insert(QStringLiteral("HOME"), m_home.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime);
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-1"));
    environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("sway"));
    if (!m_socket.isEmpty())
        environment.insert(QStringLiteral("SWAYSOCK"), m_socket);
    if (!m_display.isEmpty())
        environment.insert(QStringLiteral("DISPLAY"), m_display);
    return environment;
}

bool SwaySession::start()
{
    if (!m_home.isValid()) {
        m_error = QStringLiteral("no temporary directory");
        return false;
    }
    m_asNobody = ::geteuid() == 0;
    m_runtime = m_home.path() + QStringLiteral("/runtime");
    QDir().mkpath(m_runtime);
    QFile::setPermissions(m_runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile configFile(m_home.path() + QStringLiteral("/config"));
    if (!configFile.open(QIODevice::WriteOnly) || configFile.write(config) < 0) {
        m_error = QStringLiteral("cannot write Sway's configuration");
        return false;
    }
    configFile.close();
    if (m_asNobody) {
        const passwd *nobody = ::getpwnam("nobody");
        if (!nobody || !giveTo(m_home.path(), nobody->pw_uid, nobody->pw_gid)
            || !giveTo(m_runtime, nobody->pw_uid, nobody->pw_gid)) {
            m_error = QStringLiteral("cannot hand the session's directories to nobody");
            return false;
        }
    }

    QProcessEnvironment environment = clientEnvironment();
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
    environment.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
    environment.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
    m_sway = std::make_unique<QProcess>();
    m_sway->setProcessEnvironment(environment);
    m_sway->setProcessChannelMode(QProcess::MergedChannels);
    m_sway->setStandardOutputFile(m_home.path() + QStringLiteral("/sway.log"));
    m_sway->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    const QStringList line = asUser(QStringLiteral("sway"), {QStringLiteral("-c"), m_home.path() + QStringLiteral("/config")});
    m_sway->start(line.front(), line.mid(1));
    if (!m_sway->waitForStarted(5000)) {
        m_error = QStringLiteral("sway does not start: ") + m_sway->errorString();
        return false;
    }
    if (!waitForSocket()) {
        m_error = QStringLiteral("sway did not come up: ")
            + QString::fromUtf8(readFile(m_home.path() + QStringLiteral("/sway.log")).right(600));
        return false;
    }
    return true;
}

bool SwaySession::waitForSocket()
{
    return waitUntil(
        [&] {
            if (m_sway->state() == QProcess::NotRunning)
                return true;
            const QStringList sockets = QDir(m_runtime).entryList({QStringLiteral("sway-ipc.*.sock")}, QDir::System);
            if (sockets.isEmpty() || !QFile::exists(m_runtime + QStringLiteral("/wayland-1")))
                return false;
            m_socket = m_runtime + u'/' + sockets.front();
            return !run(QStringLiteral("swaymsg"), {QStringLiteral("-t"), QStringLiteral("get_version")}).isEmpty();
        },
        10s)
        && m_sway->state() != QProcess::NotRunning;
}

QByteArray SwaySession::run(const QString &program, const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    QProcessEnvironment environment = clientEnvironment();
    process.setProcessEnvironment(environment);
    const QStringList line = program == u"swaymsg" ? QStringList{program, QStringLiteral("-s"), m_socket} + arguments
                                                    : asUser(program, arguments);
    process.start(line.front(), line.mid(1));
    if (!process.waitForFinished(timeoutMs) || process.exitCode() != 0) {
        m_error = program + QStringLiteral(" failed: ") + QString::fromUtf8(process.readAllStandardError())
            + QString::fromUtf8(process.readAllStandardOutput());
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    return process.readAllStandardOutput();
}

bool SwaySession::command(const QString &command)
{
    const QJsonArray results = QJsonDocument::fromJson(run(QStringLiteral("swaymsg"), {command})).array();
    for (const QJsonValue &result : results) {
        if (!result.toObject().value(u"success").toBool()) {
            m_error = command + QStringLiteral(": ") + result.toObject().value(u"error").toString();
            return false;
        }
    }
    return !results.isEmpty();
}

QJsonObject SwaySession::view(const QString &appId)
{
    const QByteArray tree = run(QStringLiteral("swaymsg"), {QStringLiteral("-t"), QStringLiteral("get_tree")});
    return findView(QJsonDocument::fromJson(tree).object(), appId);
}

QRect SwaySession::frameOf(const QString &appId)
{
    const QJsonObject node = view(appId);
    if (node.isEmpty())
        return {};
    const QJsonObject rect = node.value(u"rect").toObject();
    const int titleBar = node.value(u"deco_rect").toObject().value(u"height").toInt();
    return {rect.value(u"x").toInt(), rect.value(u"y").toInt() - titleBar, rect.value(u"width").toInt(),
            rect.value(u"height").toInt() + titleBar};
}

QProcess *SwaySession::startClient(const QString &program, const QStringList &arguments,
                                   const QProcessEnvironment &additions)
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = clientEnvironment();
    environment.insert(additions);
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardOutputFile(m_home.path() + u'/' + program.section(u'/', -1) + QStringLiteral(".log"),
                                   QIODevice::Append);
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    const QStringList line = asUser(program, arguments);
    process->start(line.front(), line.mid(1));
    process->waitForStarted(5000);
    m_clients.push_back(std::move(process));
    return m_clients.back().get();
}

qint64 SwaySession::startFoot(const QString &appId, const QStringList &footOptions)
{
    QProcess *foot = startClient(QStringLiteral("foot"), QStringList{QStringLiteral("--app-id=") + appId}
                                                             + footOptions
                                                             + QStringList{QStringLiteral("sleep"), QStringLiteral("600")});
    if (foot->state() != QProcess::Running) {
        m_error = QStringLiteral("foot does not start");
        return 0;
    }
    if (!waitUntil([&] { return !view(appId).isEmpty(); }, 5s)) {
        m_error = QStringLiteral("Sway never listed foot's window");
        return 0;
    }
    return foot->processId();
}

bool SwaySession::stopClient(qint64 pid, const QString &appId)
{
    for (auto &client : m_clients) {
        if (client->processId() == pid) {
            client->kill();
            client->waitForFinished(2000);
        }
    }
    return waitUntil([&] { return view(appId).isEmpty(); }, 3s);
}

QString SwaySession::xDisplay()
{
    if (!m_display.isEmpty())
        return m_display;
    // Sway starts XWayland on the first X client and names it in its clients' DISPLAY.
    const QString file = m_home.path() + QStringLiteral("/display");
    if (!command(QStringLiteral("exec printenv DISPLAY > ") + file))
        return {};
    if (!waitUntil([&] { return !readFile(file).trimmed().isEmpty(); }, 5s)) {
        m_error = QStringLiteral("Sway names no XWayland display");
        return {};
    }
    m_display = QString::fromUtf8(readFile(file).trimmed());
    return m_display;
}

bool SwaySession::handOver(const QString &path)
{
    const passwd *nobody = m_asNobody ? ::getpwnam("nobody") : nullptr;
    if (!nobody)
        return !m_asNobody;
    bool given = giveTo(path, nobody->pw_uid, nobody->pw_gid);
    for (QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
         it.hasNext();)
        given = giveTo(it.next(), nobody->pw_uid, nobody->pw_gid) && given;
    if (!given)
        m_error = QStringLiteral("cannot hand ") + path + QStringLiteral(" to nobody");
    return given;
}

bool SwaySession::screenshot(const QString &path)
{
    // grim writes as the session's user; the file is then copied where this process wants it.
    const QString own = m_home.path() + QStringLiteral("/shot.png");
    QFile::remove(own);
    if (run(QStringLiteral("grim"), {own}).isNull() && !QFile::exists(own))
        return false;
    QDir().mkpath(QFileInfo(path).path());
    QFile::remove(path);
    return QFile::copy(own, path);
}
