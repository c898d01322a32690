#include "App/NotifyHookScript.h"

#include <stdexcept>

void writeNotifyHookScript(const QString &scriptPath, const QString &socketPath)
{
    Q_UNUSED(socketPath);
    throw std::runtime_error(
        QStringLiteral("cannot write %1: the notify hook writer is not part of this build yet").arg(scriptPath).toStdString());
}
