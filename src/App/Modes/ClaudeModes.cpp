#include "App/Modes/ClaudeModes.h"

#include "App/Core/CommandLine.h"

#include <QFileInfo>

#include <exception>

namespace ClaudeModes {

namespace {

const QString ok = QStringLiteral("OK");

QString lineOf(const AlertText &text)
{
    return text.message + QStringLiteral(": ") + text.informative;
}

int printed(const Outcome &outcome)
{
    if (outcome.failed)
        return CommandLine::errorExit(lineOf(outcome.text));
    CommandLine::printLines(lineOf(outcome.text) + u'\n');
    return 0;
}

Outcome failure(const QString &title, const std::exception &error)
{
    return {true, DialogTexts::error(title, QString::fromUtf8(error.what()))};
}

} // namespace

QString installedProgram()
{
    return qEnvironmentVariable("CORVANE_COMMAND", QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath());
}

AlertText setupQuestion()
{
    return {QStringLiteral("Set up Claude Code?"),
            QStringLiteral("Corvane will add its hooks and its status line to ~/.claude/settings.json, beside your "
                           "own settings and hooks. The hooks tell the HUD at once when a turn starts and ends, when "
                           "Claude Code waits for your approval and which tools run; they hand Corvane only event "
                           "names, ids and timings, never prompts, code or answers.\n\nThe file is backed up to "
                           "settings.json.bak-<timestamp> first. Revert from this menu removes exactly Corvane's "
                           "entries."),
            {QStringLiteral("Back Up & Write Settings"), QStringLiteral("Cancel")}};
}

Outcome install(const QString &settingsPath, const QString &program, const QDateTime &now)
{
    using Kind = ClaudeSettingsWriter::InstallResult::Kind;
    ClaudeSettingsWriter::InstallResult result;
    try {
        result = ClaudeSettingsWriter::install(settingsPath, ClaudeSettingsWriter::commandsFor(program), now);
    } catch (const std::exception &error) {
        return failure(QStringLiteral("The Claude Code settings could not be written"), error);
    }
    switch (result.kind) {
    case Kind::installed:
        return {false,
                {QStringLiteral("Claude Code set up"),
                 QStringLiteral("hooks and status line added to ") + settingsPath
                     + (result.backup.isEmpty() ? QStringLiteral(" (new file)")
                                                : QStringLiteral(" (backup: ") + result.backup + u')')
                     + QStringLiteral("; Claude Code picks them up in its next session"),
                 {ok}}};
    case Kind::alreadyInstalled:
        return {false, {QStringLiteral("Already set up"), QStringLiteral("nothing changed"), {ok}}};
    case Kind::conflictForeignStatusLine:
        break;
    }
    return {true,
            {QStringLiteral("Claude Code already has a status line"),
             settingsPath + QStringLiteral(" runs your own status line command (") + result.foreignStatusLine
                 + QStringLiteral("); nothing was written. Remove its \"statusLine\" entry to use Corvane's, "
                                  "then set up again"),
             {ok}}};
}

Outcome revert(const QString &settingsPath)
{
    bool removed = false;
    try {
        removed = ClaudeSettingsWriter::revert(settingsPath);
    } catch (const std::exception &error) {
        return failure(QStringLiteral("The Claude Code settings could not be reverted"), error);
    }
    if (!removed)
        return {false, {QStringLiteral("Nothing to revert"), QStringLiteral("no Corvane entries found"), {ok}}};
    return {false,
            {QStringLiteral("Claude Code settings reverted"),
             QStringLiteral("Corvane's hooks and status line were removed from ") + settingsPath,
             {ok}}};
}

int runStatus(const QString &settingsPath)
{
    const ClaudeSettingsWriter::Status status = ClaudeSettingsWriter::status(settingsPath);
    const auto flag = [](bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); };
    QStringList lines{
        QStringLiteral("settings: ") + settingsPath,
        QStringLiteral("settings exist: ") + flag(status.settingsExist),
        QStringLiteral("hooks installed: %1 of %2 events")
            .arg(status.hookEvents.size())
            .arg(ClaudeSettingsWriter::hookEvents().size()),
        QStringLiteral("status line installed: ") + flag(status.statusLineInstalled),
        QStringLiteral("foreign status line: ") + status.foreignStatusLine.value_or(QStringLiteral("none")),
    };
    if (!status.parseError.isEmpty())
        lines << QStringLiteral("settings error: not valid JSON (") + status.parseError + u')';
    CommandLine::printLines(lines.join(u'\n') + u'\n');
    return 0;
}

int runInstall(const QString &settingsPath, const QDateTime &now)
{
    return printed(install(settingsPath, installedProgram(), now));
}

int runRevert(const QString &settingsPath)
{
    return printed(revert(settingsPath));
}

} // namespace ClaudeModes
