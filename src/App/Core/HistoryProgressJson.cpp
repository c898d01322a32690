#include "App/Core/HistoryProgressJson.h"

namespace HistoryProgressJson {

QJsonObject toJson(const HistoryImport::Progress &progress)
{
    QJsonObject object{{"filesDone", progress.filesDone},   {"filesTotal", progress.filesTotal},
                       {"bytesDone", progress.bytesDone},   {"bytesTotal", progress.bytesTotal},
                       {"rowsAdded", progress.rowsAdded},   {"finished", progress.finished}};
    if (progress.problem)
        object.insert("problem", *progress.problem);
    return object;
}

std::optional<HistoryImport::Progress> fromJson(const QJsonObject &object)
{
    if (!object.value("finished").isBool())
        return std::nullopt;
    HistoryImport::Progress progress;
    progress.filesDone = object.value("filesDone").toInt();
    progress.filesTotal = object.value("filesTotal").toInt();
    progress.bytesDone = object.value("bytesDone").toInteger();
    progress.bytesTotal = object.value("bytesTotal").toInteger();
    progress.rowsAdded = object.value("rowsAdded").toInteger();
    progress.finished = object.value("finished").toBool();
    if (object.value("problem").isString())
        progress.problem = object.value("problem").toString();
    return progress;
}

} // namespace HistoryProgressJson
