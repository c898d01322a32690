#include "App/Shell/CodexSetup.h"

#include "App/Shell/AlertDialog.h"
#include "Telemetry/Adapters/CodexNotifyAdapter.h"
#include "Codex/ConfigFileError.h"

#include <stdexcept>

namespace CodexSetup {

namespace {
AlertText failure(const QString &title, const std::exception &error)
{
    return DialogTexts::error(title, QString::fromUtf8(error.what()));
}
} // namespace

AlertText install(const Paths &paths, const CodexConfigWriter::Status &before, const QDateTime &now,
                  const HookWriter &writeHook)
{
    try {
        writeHook(paths.hookScript, paths.socket);
    } catch (const std::exception &error) {
        return failure(QStringLiteral("The notify hook could not be written"), error);
    }
    try {
        const CodexConfigWriter::InstallResult result =
            CodexConfigWriter::install(paths.config, endpoint, paths.hookScript, now);
        return DialogTexts::codexSetupResult(result.kind, result.backup, before.foreignNotify);
    } catch (const std::exception &error) {
        return failure(QStringLiteral("The Codex configuration could not be written"), error);
    }
}

AlertText revert(const QString &configPath)
{
    try {
        return DialogTexts::codexRevertResult(CodexConfigWriter::revert(configPath));
    } catch (const std::exception &error) {
        return failure(QStringLiteral("The Codex configuration could not be reverted"), error);
    }
}

void runSetup(const Paths &paths)
{
    const CodexConfigWriter::Status before = CodexConfigWriter::status(paths.config);
    if (AlertDialog::ask(DialogTexts::codexSetupQuestion()) != 0)
        return;
    AlertDialog::ask(install(paths, before, QDateTime::currentDateTime(), &CodexNotifyAdapter::writeHookScript));
}

void runRevert(const QString &configPath) { AlertDialog::ask(revert(configPath)); }

} // namespace CodexSetup
