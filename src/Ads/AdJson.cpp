#include "Ads/AdJson.h"

#include "Platform/Files/CheckedWrite.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonValue>
#include <QRegularExpression>
#include <QTimeZone>

namespace AdJson {

QString isoSeconds(const QDateTime &time)
{
    QDateTime utc = time.toUTC();
    utc.setTime(QTime(utc.time().hour(), utc.time().minute(), utc.time().second()));
    return utc.toString(Qt::ISODate);
}

std::optional<QDateTime> parseIsoSeconds(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}(Z|[+-]\\d{2}:\\d{2})$"));
    if (!form.match(text).hasMatch())
        return std::nullopt;
    const QDateTime time = QDateTime::fromString(text, Qt::ISODate);
    if (!time.isValid())
        return std::nullopt;
    return time.toUTC();
}

std::optional<QString> text(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

std::optional<double> number(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble())
        return std::nullopt;
    return value.toDouble();
}

QByteArray jsonLine(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QList<QByteArray> lines(const QByteArray &bytes)
{
    QList<QByteArray> result;
    for (QByteArray piece : bytes.split('\n')) {
        if (piece.endsWith('\r'))
            piece.chop(1);
        if (!piece.isEmpty())
            result.append(piece);
    }
    return result;
}

qsizetype countLines(const QString &path)
{
    const std::optional<QByteArray> bytes = readAll(path);
    if (!bytes)
        return 0;
    qsizetype count = 0;
    for (const QByteArray &piece : bytes->split('\n'))
        count += piece.isEmpty() ? 0 : 1;
    return count;
}

std::optional<QByteArray> readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

std::optional<QString> writeAtomically(const QString &path, const QByteArray &bytes)
{
    return CheckedWrite::replaceFile(path, bytes);
}

std::optional<QString> append(const QString &path, const QByteArray &bytes)
{
    return CheckedWrite::appendLines(path, bytes);
}

} // namespace AdJson
