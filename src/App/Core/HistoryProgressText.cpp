#include "App/Core/HistoryProgressText.h"

#include <algorithm>

QString historyProgressText(const HistoryImport::Progress &progress)
{
    if (progress.problem)
        return QStringLiteral("History import stopped: ") + *progress.problem;
    if (progress.finished)
        return {};
    const qint64 percent = progress.bytesTotal > 0 ? std::min<qint64>(100, progress.bytesDone * 100 / progress.bytesTotal) : 0;
    return QStringLiteral(u"Importing history\u2026 %1 % (%2 of %3 files)")
        .arg(percent)
        .arg(progress.filesDone)
        .arg(progress.filesTotal);
}
