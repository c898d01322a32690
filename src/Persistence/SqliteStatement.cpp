#include "Persistence/SqliteStatement.h"

#include <sqlite3.h>

SqliteStatement::SqliteStatement(sqlite3 *db, const char *sql)
{
    if (db && sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
    }
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(m_statement); }

void SqliteStatement::bind(int index, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(m_statement, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
}

void SqliteStatement::bind(int index, qint64 value) { sqlite3_bind_int64(m_statement, index, value); }

void SqliteStatement::bind(int index, double value) { sqlite3_bind_double(m_statement, index, value); }

void SqliteStatement::bindNull(int index) { sqlite3_bind_null(m_statement, index); }

void SqliteStatement::bind(int index, const std::optional<QString> &text)
{
    if (text)
        bind(index, *text);
    else
        bindNull(index);
}

void SqliteStatement::bind(int index, const std::optional<qint64> &value)
{
    if (value)
        bind(index, *value);
    else
        bindNull(index);
}

bool SqliteStatement::nextRow() { return m_statement && sqlite3_step(m_statement) == SQLITE_ROW; }

bool SqliteStatement::run()
{
    if (!m_statement)
        return false;
    int result = SQLITE_ROW;
    while (result == SQLITE_ROW)
        result = sqlite3_step(m_statement);
    return result == SQLITE_DONE;
}

void SqliteStatement::reset()
{
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

bool SqliteStatement::isNull(int column) const { return sqlite3_column_type(m_statement, column) == SQLITE_NULL; }

qint64 SqliteStatement::integer(int column) const { return sqlite3_column_int64(m_statement, column); }

double SqliteStatement::real(int column) const { return sqlite3_column_double(m_statement, column); }

std::optional<qint64> SqliteStatement::optionalInteger(int column) const
{
    if (isNull(column))
        return std::nullopt;
    return integer(column);
}

std::optional<QString> SqliteStatement::optionalText(int column) const
{
    if (isNull(column))
        return std::nullopt;
    const QByteArrayView bytes = textView(column);
    return QString::fromUtf8(bytes);
}

QByteArrayView SqliteStatement::textView(int column) const
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    return QByteArrayView(text, sqlite3_column_bytes(m_statement, column));
}
