#pragma once

#include "Codex/CodexConfigWriter.h"

#include <QString>
#include <QStringList>

// The texts of the tray menu's dialogs, kept apart from the widgets so they can be checked.
struct AlertText {
    QString message;
    QString informative;
    QStringList buttons; // left to right in reading order; the first is the default
    bool operator==(const AlertText &) const = default;
};

namespace DialogTexts {

AlertText customTarget();
AlertText remoteAds();
AlertText codexSetupQuestion();
// backupPath is used only for installed; foreignNotify appends the note on an existing hook.
AlertText codexSetupResult(CodexConfigWriter::InstallResult::Kind outcome, const QString &backupPath, bool foreignNotify);
AlertText codexRevertResult(bool removed);
AlertText reportExported(const QString &reportsDir, double grossSpend, double developerShare);
AlertText reportFailed(const QString &description);
// The alert for an action's error: the error's text under a title naming the action.
AlertText error(const QString &title, const QString &description);

} // namespace DialogTexts
