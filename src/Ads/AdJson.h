#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

// Shared JSON, time and file helpers of the ad files.
namespace AdJson {

// ISO 8601 internet date-time in UTC to whole seconds, e.g. 2026-06-12T10:48:37Z.
QString isoSeconds(const QDateTime &time);
// Reads the whole-second internet date-time form ("Z" or a numeric offset); fractions are rejected.
std::optional<QDateTime> parseIsoSeconds(const QString &text);

std::optional<QString> text(const QJsonObject &object, const char *key);
std::optional<double> number(const QJsonObject &object, const char *key);

// One compact JSON object followed by a line feed.
QByteArray jsonLine(const QJsonObject &object);
// The non-empty pieces between line feeds (a carriage return before the feed is dropped).
QList<QByteArray> lines(const QByteArray &bytes);
// The number of non-empty pieces between line feeds of a file; 0 when it cannot be read.
qsizetype countLines(const QString &path);

// The whole file, or nothing when it cannot be read.
std::optional<QByteArray> readAll(const QString &path);
// Writes aside and renames into place, owner-only; the reason when the file could not be replaced
// (it then stays as it was).
std::optional<QString> writeAtomically(const QString &path, const QByteArray &bytes);
// Appends to the end of the file, creating it when missing, after a line feed if the file lacks
// its last one; the reason when nothing could be appended.
std::optional<QString> append(const QString &path, const QByteArray &bytes);

} // namespace AdJson
