#include "Claude/ClaudeSettingsWriter.h"

#include "Claude/JsonSpans.h"
#include "Codex/ConfigFileError.h"
#include "Platform/Files/CheckedWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <algorithm>
#include <array>

namespace ClaudeSettingsWriter {

namespace {

// What the turn, approval and tool mapping needs; nothing that fires on every file or keystroke.
constexpr std::array<HookEvent, 13> events{{
    {"UserPromptSubmit", false},
    {"Stop", false},
    {"StopFailure", true},
    {"Interrupt", true},
    {"SessionStart", true},
    {"SessionEnd", true},
    {"PermissionRequest", true},
    {"PermissionDenied", true},
    {"Notification", true},
    {"PreToolUse", true},
    {"PostToolUse", true},
    {"PostToolUseFailure", true},
    {"PostModelSwitch", true},
}};

// The text install starts from when there is no file; a revert that comes back to it removes it.
constexpr char freshText[] = "{\n}\n";

using Items = std::vector<JsonSpans::Item>;

struct Edit {
    qsizetype at = 0;
    qsizetype removed = 0;
    QByteArray inserted;
};

std::optional<QByteArray> readIfPresent(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly))
        throw ConfigFileError(QStringLiteral("cannot read %1: %2; nothing written").arg(path, file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw ConfigFileError(QStringLiteral("cannot read %1: %2; nothing written").arg(path, file.errorString()));
    return bytes;
}

std::optional<QJsonObject> parsedObject(const QByteArray &bytes, QString *error = nullptr)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        if (error)
            *error = QStringLiteral("%1 at offset %2").arg(parseError.errorString()).arg(parseError.offset);
        return std::nullopt;
    }
    if (!document.isObject()) {
        if (error)
            *error = QStringLiteral("the top level is not an object");
        return std::nullopt;
    }
    return document.object();
}

QJsonObject parseOrThrow(const QByteArray &bytes, const QString &path)
{
    QString error;
    std::optional<QJsonObject> root = parsedObject(bytes, &error);
    if (!root)
        throw ConfigFileError(QStringLiteral("%1 is not valid JSON (%2); nothing written").arg(path, error));
    return *root;
}

void writeAtomically(const QString &path, const QByteArray &bytes, QFileDevice::Permissions permissions)
{
    if (const std::optional<QString> error = CheckedWrite::replaceFile(path, bytes, permissions))
        throw ConfigFileError(*error);
}

QJsonObject commandObject(const QString &command)
{
    return {{"type", "command"}, {"command", command}};
}

QJsonObject ourGroup(const HookEvent &event, const QString &hookCommand)
{
    QJsonObject group{{"hooks", QJsonArray{commandObject(hookCommand)}}};
    if (event.takesMatcher)
        group.insert("matcher", "*");
    return group;
}

// A group that holds Corvane's hook and nothing else.
bool isOurGroup(const QJsonValue &value)
{
    const QJsonArray hooks = value.toObject().value("hooks").toArray();
    if (hooks.size() != 1)
        return false;
    const QJsonObject hook = hooks.first().toObject();
    return hook.value("type").toString() == u"command" && isCorvaneCommand(hook.value("command").toString(), hookFlag);
}

bool holdsOurGroup(const QJsonValue &groups)
{
    const QJsonArray array = groups.toArray();
    return std::any_of(array.begin(), array.end(), isOurGroup);
}

bool onlyOurGroups(const QJsonValue &groups)
{
    const QJsonArray array = groups.toArray();
    return groups.isArray() && !array.isEmpty() && std::all_of(array.begin(), array.end(), isOurGroup);
}

bool isOurStatusLine(const QJsonValue &value)
{
    return isCorvaneCommand(value.toObject().value("command").toString(), statusLineFlag);
}

QByteArray compact(const QJsonValue &value)
{
    if (value.isObject())
        return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    return QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
}

QByteArray member(const QString &key, const QJsonValue &value)
{
    return compact(QJsonArray{key}).sliced(1).chopped(1) + ": " + compact(value);
}

Items itemsAt(const QByteArray &bytes, qsizetype start, qsizetype end)
{
    std::optional<Items> found = JsonSpans::items(QByteArrayView(bytes).sliced(start, end - start));
    if (!found)
        throw ConfigFileError(QStringLiteral("cannot locate the entries to edit"));
    for (JsonSpans::Item &item : *found) {
        item.start += start;
        item.valueStart += start;
        item.valueEnd += start;
    }
    return *found;
}

const JsonSpans::Item &itemNamed(const Items &items, const QString &key)
{
    // The last one wins, as in the parse that decided.
    const auto found = std::find_if(items.rbegin(), items.rend(), [&](const JsonSpans::Item &item) { return item.key == key; });
    if (found == items.rend())
        throw ConfigFileError(QStringLiteral("cannot locate \"%1\"").arg(key));
    return *found;
}

// New entries at the head of the container whose opening bracket is at `bracket`, so removing an
// entry together with the separator after it gives the old text back.
Edit insertion(const QByteArray &bytes, qsizetype bracket, const Items &items, const QList<QByteArray> &entries)
{
    Edit edit{bracket + 1, 0, {}};
    if (!items.empty()) {
        const QByteArray space = bytes.mid(bracket + 1, items.front().start - bracket - 1);
        for (const QByteArray &entry : entries)
            edit.inserted += space + entry + ',';
        return edit;
    }
    const QByteArray space = bytes.mid(bracket + 1, JsonSpans::skipSpace(bytes, bracket + 1) - bracket - 1);
    const QByteArray lead = space.contains('\n') ? QByteArray("\n  ") : space;
    for (const QByteArray &entry : entries)
        edit.inserted += (edit.inserted.isEmpty() ? lead : ',' + lead) + entry;
    return edit;
}

Edit removal(qsizetype bracket, const Items &items, std::size_t index)
{
    const JsonSpans::Item &item = items[index];
    if (items.size() == 1)
        return {bracket + 1, item.valueEnd - bracket - 1, {}};
    if (index + 1 < items.size())
        return {item.start, items[index + 1].start - item.start, {}};
    return {items[index - 1].valueEnd, item.valueEnd - items[index - 1].valueEnd, {}};
}

QByteArray applied(QByteArray bytes, std::vector<Edit> edits)
{
    std::sort(edits.begin(), edits.end(), [](const Edit &a, const Edit &b) { return a.at > b.at; });
    for (const Edit &edit : edits)
        bytes.replace(edit.at, edit.removed, edit.inserted);
    return bytes;
}

void requireShape(const QJsonObject &root, const QString &path)
{
    const QJsonValue hooks = root.value("hooks");
    if (!hooks.isUndefined() && !hooks.isObject())
        throw ConfigFileError(QStringLiteral("%1: \"hooks\" is not an object; nothing written").arg(path));
    for (const HookEvent &event : events) {
        const QJsonValue groups = hooks.toObject().value(QLatin1String(event.name));
        if (!groups.isUndefined() && !groups.isArray())
            throw ConfigFileError(
                QStringLiteral("%1: \"hooks\".\"%2\" is not a list; nothing written").arg(path, QLatin1String(event.name)));
    }
}

QList<HookEvent> missingEvents(const QJsonObject &root)
{
    QList<HookEvent> missing;
    const QJsonObject hooks = root.value("hooks").toObject();
    for (const HookEvent &event : events) {
        if (!holdsOurGroup(hooks.value(QLatin1String(event.name))))
            missing << event;
    }
    return missing;
}

// The user's values plus Corvane's entries, as install must leave them.
QJsonObject withOurs(QJsonObject root, const QList<HookEvent> &missing, const Commands &commands)
{
    if (!root.contains("statusLine"))
        root.insert("statusLine", commandObject(commands.statusLine));
    QJsonObject hooks = root.value("hooks").toObject();
    for (const HookEvent &event : missing) {
        QJsonArray groups = hooks.value(QLatin1String(event.name)).toArray();
        groups.prepend(ourGroup(event, commands.hook));
        hooks.insert(QLatin1String(event.name), groups);
    }
    if (!missing.isEmpty())
        root.insert("hooks", hooks);
    return root;
}

// The user's values without Corvane's entries, as revert must leave them.
QJsonObject withoutOurs(QJsonObject root)
{
    if (isOurStatusLine(root.value("statusLine")))
        root.remove("statusLine");
    if (!root.value("hooks").isObject())
        return root;
    QJsonObject hooks = root.value("hooks").toObject();
    bool changed = false;
    for (const QString &key : hooks.keys()) {
        const QJsonValue groups = hooks.value(key);
        if (!holdsOurGroup(groups))
            continue;
        changed = true;
        QJsonArray kept;
        for (const QJsonValue &group : groups.toArray()) {
            if (!isOurGroup(group))
                kept.append(group);
        }
        if (kept.isEmpty())
            hooks.remove(key);
        else
            hooks.insert(key, kept);
    }
    if (changed && hooks.isEmpty())
        root.remove("hooks");
    else if (changed)
        root.insert("hooks", hooks);
    return root;
}

std::vector<Edit> installEdits(const QByteArray &bytes, const QJsonObject &root, const QList<HookEvent> &missing,
                               const Commands &commands)
{
    std::vector<Edit> edits;
    const qsizetype rootBracket = JsonSpans::skipSpace(bytes, 0);
    const Items rootItems = itemsAt(bytes, rootBracket, bytes.size());
    QList<QByteArray> rootEntries;
    if (!root.contains("hooks") && !missing.isEmpty()) {
        QJsonObject hooks;
        for (const HookEvent &event : missing)
            hooks.insert(QLatin1String(event.name), QJsonArray{ourGroup(event, commands.hook)});
        rootEntries << member(QStringLiteral("hooks"), hooks);
    } else if (!missing.isEmpty()) {
        const QJsonObject hooks = root.value("hooks").toObject();
        const JsonSpans::Item &hooksItem = itemNamed(rootItems, QStringLiteral("hooks"));
        const Items hookItems = itemsAt(bytes, hooksItem.valueStart, hooksItem.valueEnd);
        QList<QByteArray> hookEntries;
        for (const HookEvent &event : missing) {
            const QString name = QLatin1String(event.name);
            const QByteArray group = compact(ourGroup(event, commands.hook));
            if (!hooks.contains(name)) {
                hookEntries << member(name, QJsonArray{ourGroup(event, commands.hook)});
                continue;
            }
            const JsonSpans::Item &groupsItem = itemNamed(hookItems, name);
            edits.push_back(insertion(bytes, groupsItem.valueStart,
                                      itemsAt(bytes, groupsItem.valueStart, groupsItem.valueEnd), {group}));
        }
        if (!hookEntries.isEmpty())
            edits.push_back(insertion(bytes, hooksItem.valueStart, hookItems, hookEntries));
    }
    if (!root.contains("statusLine"))
        rootEntries << member(QStringLiteral("statusLine"), commandObject(commands.statusLine));
    if (!rootEntries.isEmpty())
        edits.push_back(insertion(bytes, rootBracket, rootItems, rootEntries));
    return edits;
}

// One of Corvane's entries to take out, the outermost first; none when nothing is left.
std::optional<Edit> nextRemoval(const QByteArray &bytes, const QJsonObject &root)
{
    const qsizetype rootBracket = JsonSpans::skipSpace(bytes, 0);
    const Items rootItems = itemsAt(bytes, rootBracket, bytes.size());
    const auto indexOf = [](const Items &items, const QString &key) {
        std::size_t index = items.size();
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items[i].key == key)
                index = i;
        }
        return index;
    };
    if (isOurStatusLine(root.value("statusLine")))
        return removal(rootBracket, rootItems, indexOf(rootItems, QStringLiteral("statusLine")));
    const QJsonObject hooks = root.value("hooks").toObject();
    if (hooks.isEmpty())
        return std::nullopt;
    const std::size_t hooksIndex = indexOf(rootItems, QStringLiteral("hooks"));
    const QStringList keys = hooks.keys();
    if (std::all_of(keys.begin(), keys.end(), [&](const QString &key) { return onlyOurGroups(hooks.value(key)); }))
        return removal(rootBracket, rootItems, hooksIndex);
    const JsonSpans::Item &hooksItem = rootItems[hooksIndex];
    const Items hookItems = itemsAt(bytes, hooksItem.valueStart, hooksItem.valueEnd);
    for (const QString &key : keys) {
        if (onlyOurGroups(hooks.value(key)))
            return removal(hooksItem.valueStart, hookItems, indexOf(hookItems, key));
    }
    for (const QString &key : keys) {
        const QJsonArray groups = hooks.value(key).toArray();
        const auto ours = std::find_if(groups.begin(), groups.end(), isOurGroup);
        if (ours == groups.end())
            continue;
        const JsonSpans::Item &groupsItem = hookItems[indexOf(hookItems, key)];
        return removal(groupsItem.valueStart, itemsAt(bytes, groupsItem.valueStart, groupsItem.valueEnd),
                       std::size_t(ours - groups.begin()));
    }
    return std::nullopt;
}

QString shellWord(const QString &text)
{
    const bool plain = !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.isLetterOrNumber() || QStringView(u"/._+-,:@%").contains(c);
    });
    if (plain)
        return text;
    QString quoted = QStringLiteral("'");
    for (const QChar c : text)
        quoted += c == u'\'' ? QStringLiteral("'\\''") : QString(c);
    return quoted + u'\'';
}

QString unquotedWord(QString word)
{
    if (word.size() >= 2 && word.startsWith(u'\'') && word.endsWith(u'\''))
        return word.mid(1, word.size() - 2).replace(QStringLiteral("'\\''"), QStringLiteral("'"));
    if (word.size() >= 2 && word.startsWith(u'"') && word.endsWith(u'"'))
        return word.mid(1, word.size() - 2);
    return word;
}

QString backupTimestamp(const QDateTime &time, const QTimeZone &zone)
{
    return QLocale::c().toString(time.toTimeZone(zone), QStringLiteral("yyyyMMdd-HHmmss"));
}

} // namespace

std::span<const HookEvent> hookEvents()
{
    return events;
}

Commands commandsFor(const QString &program)
{
    const QString word = shellWord(program);
    return {word + u' ' + hookFlag, word + u' ' + statusLineFlag};
}

bool isCorvaneCommand(const QString &command, QLatin1String flag)
{
    const QString suffix = u' ' + flag;
    if (!command.endsWith(suffix))
        return false;
    const QString program = unquotedWord(command.chopped(suffix.size()).trimmed());
    return QFileInfo(program).fileName() == u"corvane";
}

Status status(const QString &settingsPath)
{
    Status status;
    std::optional<QByteArray> bytes;
    try {
        bytes = readIfPresent(settingsPath);
    } catch (const ConfigFileError &error) {
        status.settingsExist = true;
        status.parseError = QString::fromUtf8(error.what());
        return status;
    }
    if (!bytes)
        return status;
    status.settingsExist = true;
    const std::optional<QJsonObject> root = parsedObject(*bytes, &status.parseError);
    if (!root)
        return status;
    const QJsonObject hooks = root->value("hooks").toObject();
    for (const HookEvent &event : events) {
        if (holdsOurGroup(hooks.value(QLatin1String(event.name))))
            status.hookEvents << QLatin1String(event.name);
    }
    const QJsonValue statusLine = root->value("statusLine");
    status.statusLineInstalled = isOurStatusLine(statusLine);
    if (!statusLine.isUndefined() && !status.statusLineInstalled)
        status.foreignStatusLine = statusLine.toObject().value("command").toString(compact(statusLine));
    return status;
}

InstallResult install(const QString &settingsPath, const Commands &commands, const QDateTime &now, const QTimeZone &zone)
{
    const std::optional<QByteArray> existing = readIfPresent(settingsPath);
    const QByteArray bytes = existing ? *existing : QByteArray(freshText);
    const QJsonObject root = parseOrThrow(bytes, settingsPath);
    requireShape(root, settingsPath);
    const QJsonValue statusLine = root.value("statusLine");
    if (!statusLine.isUndefined() && !isOurStatusLine(statusLine))
        return {InstallResult::Kind::conflictForeignStatusLine, {},
                statusLine.toObject().value("command").toString(compact(statusLine))};
    const QList<HookEvent> missing = missingEvents(root);
    if (missing.isEmpty() && !statusLine.isUndefined())
        return {};

    const QByteArray updated = applied(bytes, installEdits(bytes, root, missing, commands));
    // Claude Code must read the user's values as they were, plus exactly Corvane's.
    if (parsedObject(updated) != withOurs(root, missing, commands))
        throw ConfigFileError(QStringLiteral("%1: the edit would change more than Corvane's entries; nothing written")
                                  .arg(settingsPath));

    const QFileInfo settings(settingsPath);
    if (!QDir().mkpath(settings.absolutePath()))
        throw ConfigFileError(QStringLiteral("cannot create directory %1").arg(settings.absolutePath()));
    // Settings may hold credentials (env): neither the backup nor the file becomes more readable.
    const QFileDevice::Permissions permissions = existing ? settings.permissions() : CheckedWrite::ownerOnly;
    QString backup;
    if (existing) {
        backup = settings.absoluteFilePath() + backupInfix + backupTimestamp(now, zone);
        writeAtomically(backup, bytes, permissions);
    }
    writeAtomically(settingsPath, updated, permissions);
    return {InstallResult::Kind::installed, backup, {}};
}

bool revert(const QString &settingsPath)
{
    const std::optional<QByteArray> original = readIfPresent(settingsPath);
    if (!original)
        return false;
    QJsonObject root = parseOrThrow(*original, settingsPath);
    const QJsonObject expected = withoutOurs(root);
    QByteArray bytes = *original;
    while (const std::optional<Edit> edit = nextRemoval(bytes, root)) {
        bytes = applied(bytes, {*edit});
        const std::optional<QJsonObject> next = parsedObject(bytes);
        if (!next)
            throw ConfigFileError(QStringLiteral("%1: removing Corvane's entries failed; nothing written").arg(settingsPath));
        root = *next;
    }
    if (root != expected)
        throw ConfigFileError(QStringLiteral("%1: the edit would change more than Corvane's entries; nothing written")
                                  .arg(settingsPath));
    if (bytes == *original)
        return false;
    if (bytes == freshText) {
        if (!QFile::remove(settingsPath))
            throw ConfigFileError(QStringLiteral("cannot remove %1").arg(settingsPath));
        return true;
    }
    writeAtomically(settingsPath, bytes, QFileInfo(settingsPath).permissions());
    return true;
}

} // namespace ClaudeSettingsWriter
