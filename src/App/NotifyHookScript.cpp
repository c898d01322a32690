#include "App/NotifyHookScript.h"

#include "Telemetry/Adapters/CodexNotifyAdapter.h"

void writeNotifyHookScript(const QString &scriptPath, const QString &socketPath)
{
    CodexNotifyAdapter::writeHookScript(scriptPath, socketPath);
}
