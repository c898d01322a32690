#include "App/Modes/DialogTexts.h"

#include "Telemetry/DisplayFormat.h"

namespace DialogTexts {

namespace {
const QString ok = QStringLiteral("OK");
}

AlertText customTarget()
{
    return {QStringLiteral("Custom Target Bundle ID"),
            QStringLiteral("Enter the bundle identifier of the app to attach to (e.g. com.openai.codex)."),
            {QStringLiteral("Attach"), QStringLiteral("Cancel")}};
}

AlertText remoteAds()
{
    return {QStringLiteral("Remote Ad Server"),
            QStringLiteral("Configure the privacy-safe direct-sold ad backend. The HUD sends only campaign/event "
                           "metadata, never prompts, code, responses, or window contents."),
            {QStringLiteral("Save & Use Remote"), QStringLiteral("Cancel")}};
}

AlertText codexSetupQuestion()
{
    return {QStringLiteral("Connect Codex telemetry?"),
            QStringLiteral(
                "Corvane will add a managed [otel] block to ~/.codex/config.toml so Codex sends usage telemetry "
                "(token counts, turn timing — never prompts or code) to this app at 127.0.0.1:4318, plus a notify "
                "hook for turn edges.\n\nNote: Codex ignores project-scoped otel config for security — the global "
                "user config is required, and the desktop app honors it.\n\nBefore writing, the original file is "
                "backed up to config.toml.bak-<timestamp>. You can revert at any time from this menu, restoring your "
                "config exactly. log_user_prompt stays false."),
            {QStringLiteral("Back Up & Write Config"), QStringLiteral("Cancel")}};
}

AlertText codexSetupResult(CodexConfigWriter::InstallResult::Kind outcome, const QString &backupPath, bool foreignNotify)
{
    AlertText text;
    switch (outcome) {
    case CodexConfigWriter::InstallResult::Kind::installed:
        text = {QStringLiteral("Codex telemetry configured"),
                QStringLiteral("Backup saved at ") + backupPath
                    + QStringLiteral(". Restart Codex for the change to take effect."),
                {ok}};
        break;
    case CodexConfigWriter::InstallResult::Kind::alreadyInstalled:
        text = {QStringLiteral("Already configured"),
                QStringLiteral("The Corvane block is already present; nothing was changed."), {ok}};
        break;
    case CodexConfigWriter::InstallResult::Kind::conflictForeignOtel:
        text = {QStringLiteral("Existing [otel] exporter detected"),
                QStringLiteral("Your config.toml already has an [otel] section that Corvane doesn't manage. To avoid "
                               "corrupting it, nothing was written. Pass-through re-export to your existing endpoint "
                               "is planned post-MVP; for now, point your exporter at http://127.0.0.1:4318 manually "
                               "if you want HUD metrics."),
                {ok}};
        break;
    }
    if (foreignNotify)
        text.informative += QStringLiteral("\n\nNote: an existing notify hook was detected and left untouched.");
    return text;
}

AlertText codexRevertResult(bool removed)
{
    if (removed)
        return {QStringLiteral("Codex config reverted"),
                QStringLiteral("Corvane's managed lines were removed from ~/.codex/config.toml."), {ok}};
    return {QStringLiteral("Nothing to revert"), QStringLiteral("No Corvane-managed lines were found."), {ok}};
}

AlertText reportExported(const QString &reportsDir, double grossSpend, double developerShare)
{
    return {QStringLiteral("Ad Pilot Report Exported"),
            QStringLiteral("Markdown and JSON reports were written to ") + reportsDir + QStringLiteral(". Gross spend ")
                + DisplayFormat::money(grossSpend) + QStringLiteral("; developer share ") + DisplayFormat::money(developerShare)
                + QLatin1Char('.'),
            {ok}};
}

AlertText reportFailed(const QString &description)
{
    return {QStringLiteral("Ad Pilot Report Failed"), description, {ok}};
}

AlertText error(const QString &title, const QString &description) { return {title, description, {ok}}; }

} // namespace DialogTexts
