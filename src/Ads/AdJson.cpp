#include "Ads/AdJson.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonValue>
#include <QRegularExpression>
#include <QSaveFile>
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

bool writeAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    if (!written && error)
        *error = file.errorString();
    return written;
}

void append(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append))
        return;
    // A last line without its line feed (torn, or edited by hand) must not swallow the new one.
    bool needsFeed = false;
    if (file.size() > 0 && file.seek(file.size() - 1)) {
        char last = '\n';
        needsFeed = file.getChar(&last) && last != '\n';
    }
    file.write(needsFeed ? '\n' + bytes : bytes);
}

} // namespace AdJson
