#include "Codex/CodexConfigWriter.h"

#include "Codex/CodexConfigToml.h"
#include "Codex/ConfigFileError.h"
#include "Platform/Files/CheckedWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringDecoder>

#include <algorithm>
#include <variant>

namespace CodexConfigWriter {

namespace {

constexpr QChar byteOrderMark{0xFEFF};

// Strict UTF-8 that keeps a leading byte-order mark, so text written back is byte-identical.
std::optional<QString> readUtf8(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

void writeAtomically(const QString &path, const QString &text, QFileDevice::Permissions permissions)
{
    if (const std::optional<QString> error = CheckedWrite::replaceFile(path, text.toUtf8(), permissions))
        throw ConfigFileError(*error);
}

// Editors may turn the file's line ends into CRLF after an install: a marker line is the same line.
QStringView withoutCR(QStringView line)
{
    return line.endsWith(u'\r') ? line.chopped(1) : line;
}

bool isBeginMarker(QStringView line)
{
    return withoutCR(line) == otelBegin;
}

bool isManagedNotify(QStringView line)
{
    return withoutCR(line).endsWith(notifyMarker);
}

struct Outside {
    QStringList lines;
    bool removedBlock = false;
    bool blockEndsInCR = false; // the removed block's lines end in CR: the file was converted to CRLF
};

Outside splitOutside(const QString &text)
{
    Outside outside;
    bool inside = false;
    for (const QString &line : text.split(u'\n')) {
        if (isBeginMarker(line)) {
            inside = true;
            outside.removedBlock = true;
            outside.blockEndsInCR = line.endsWith(u'\r');
        } else if (withoutCR(line) == otelEnd) {
            inside = false;
        } else if (!inside && !isManagedNotify(line)) {
            outside.lines << line;
        }
    }
    return outside;
}

// An editor's byte-order mark belongs to the file, not to its first line.
QString withoutBom(const QString &text)
{
    return text.startsWith(byteOrderMark) ? text.mid(1) : text;
}

Status statusOfText(const QString &withBom)
{
    const QString text = withoutBom(withBom);
    Status status;
    status.configExists = true;
    const QStringList lines = text.split(u'\n');
    status.installed = std::any_of(lines.begin(), lines.end(), [](const QString &line) { return isBeginMarker(line); });
    status.notifyInstalled =
        std::any_of(lines.begin(), lines.end(), [](const QString &line) { return isManagedNotify(line); });
    // Whatever is left once the managed lines are gone is the user's, in any spelling TOML allows.
    const auto keys = CodexConfigToml::managedKeys(textOutsideManagedRegions(text).join(u'\n'));
    if (const auto *error = std::get_if<CodexConfigToml::ParseError>(&keys)) {
        status.parseError = *error;
    } else {
        const auto &found = std::get<CodexConfigToml::ManagedKeys>(keys);
        status.foreignOtel = found.otel;
        status.foreignNotify = found.notify;
    }
    return status;
}

// The notify key must stay in TOML's top-level zone, ahead of every table, and after a BOM.
QString withNotifyLine(const QString &text, const QString &scriptPath)
{
    const qsizetype at = text.startsWith(byteOrderMark) ? 1 : 0;
    QString result = text;
    result.insert(at, notifyLine(scriptPath) + u'\n');
    return result;
}

} // namespace

QString tomlBasicStringBody(const QString &value)
{
    QString body;
    body.reserve(value.size());
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'"': body += QStringLiteral("\\\""); break;
        case u'\\': body += QStringLiteral("\\\\"); break;
        case u'\b': body += QStringLiteral("\\b"); break;
        case u'\n': body += QStringLiteral("\\n"); break;
        case u'\f': body += QStringLiteral("\\f"); break;
        case u'\r': body += QStringLiteral("\\r"); break;
        case u'\t': body += c; break; // the one control character a basic string may hold
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                body += QStringLiteral("\\u") + QString::number(c.unicode(), 16).rightJustified(4, u'0').toUpper();
            else
                body += c;
        }
    }
    return body;
}

QString otelBlock(const QString &endpoint)
{
    return QStringList{
        QString(otelBegin),
        QStringLiteral("[otel]"),
        QStringLiteral("environment = \"dev\""),
        QStringLiteral("exporter = { otlp-http = { endpoint = \"") + tomlBasicStringBody(endpoint)
            + QStringLiteral("\", protocol = \"json\" } }"),
        QStringLiteral("log_user_prompt = false"),
        QString(otelEnd),
    }.join(u'\n');
}

QString notifyLine(const QString &scriptPath)
{
    return QStringLiteral("notify = [\"") + tomlBasicStringBody(scriptPath) + QStringLiteral("\"] ") + notifyMarker;
}

QStringList textOutsideManagedRegions(const QString &text)
{
    return splitOutside(text).lines;
}

QString backupTimestamp(const QDateTime &time, const QTimeZone &zone)
{
    return QLocale::c().toString(time.toTimeZone(zone), QStringLiteral("yyyyMMdd-HHmmss"));
}

Status status(const QString &configPath)
{
    const std::optional<QString> text = readUtf8(configPath);
    return text ? statusOfText(*text) : Status{};
}

InstallResult install(const QString &configPath, const QString &endpoint,
                      const std::optional<QString> &notifyScriptPath, const QDateTime &now, const QTimeZone &zone)
{
    const QFileInfo config(configPath);
    QString text;
    if (config.exists()) {
        // Treating an existing file we cannot read as empty would replace the user's config.
        std::optional<QString> read = readUtf8(configPath);
        if (!read)
            throw ConfigFileError(QStringLiteral("cannot read %1 as UTF-8 text; nothing written").arg(configPath));
        text = std::move(*read);
    }
    const Status before = statusOfText(text);
    if (!before.parseError.isEmpty())
        throw ConfigFileError(
            QStringLiteral("%1 is not valid TOML (%2); nothing written").arg(configPath, before.parseError));
    if (before.foreignOtel)
        return {InstallResult::Kind::conflictForeignOtel, {}};
    const bool addNotify = notifyScriptPath && !before.notifyInstalled && !before.foreignNotify;
    if (before.installed && !addNotify)
        return {InstallResult::Kind::alreadyInstalled, {}};

    QString updated = addNotify ? withNotifyLine(text, *notifyScriptPath) : text;
    if (!before.installed) {
        // Always a line break before the block, even after a final newline, so that revert's
        // removal of one line break restores the previous text byte for byte.
        if (!text.isEmpty())
            updated += u'\n';
        updated += otelBlock(endpoint) + u'\n';
    }
    // Codex must still read its config, with the user's values as they were.
    const std::optional<QString> problem = CodexConfigToml::installProblem(
        textOutsideManagedRegions(withoutBom(text)).join(u'\n'), withoutBom(updated),
        {endpoint, addNotify ? notifyScriptPath : std::nullopt});
    if (problem)
        throw ConfigFileError(QStringLiteral("%1: %2; nothing written").arg(configPath, *problem));

    const QString dir = config.absolutePath();
    if (!QDir().mkpath(dir))
        throw ConfigFileError(QStringLiteral("cannot create directory %1").arg(dir));
    const QString backup = dir + u'/' + config.fileName() + backupInfix + backupTimestamp(now, zone);
    // The config may hold credentials: its backup is no more readable than the file itself, and a
    // new config is the owner's alone.
    const QFileDevice::Permissions permissions = config.exists() ? config.permissions() : CheckedWrite::ownerOnly;
    writeAtomically(backup, text, permissions);
    writeAtomically(configPath, updated, permissions);
    return {InstallResult::Kind::installed, backup};
}

bool revert(const QString &configPath)
{
    const std::optional<QString> text = readUtf8(configPath);
    if (!text)
        return false;
    const Outside outside = splitOutside(withoutBom(*text));
    QString result = outside.lines.join(u'\n');
    // The line break install placed before the block; only when a block was actually removed.
    const QLatin1String separator(outside.blockEndsInCR ? "\r\n" : "\n");
    if (outside.removedBlock && result.endsWith(separator))
        result.chop(separator.size());
    if (text->startsWith(byteOrderMark))
        result.prepend(byteOrderMark);
    if (result == *text)
        return false;
    writeAtomically(configPath, result, QFileInfo(configPath).permissions());
    return true;
}

} // namespace CodexConfigWriter
