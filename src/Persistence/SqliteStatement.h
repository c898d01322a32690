#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

struct sqlite3;
struct sqlite3_stmt;

// One prepared statement, finalized when it goes out of scope.
class SqliteStatement {
public:
    SqliteStatement(sqlite3 *db, const char *sql);
    SqliteStatement(sqlite3 *db, const QByteArray &sql) : SqliteStatement(db, sql.constData()) {}
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    bool isValid() const { return m_statement != nullptr; }

    // Parameters count from 1. Texts are bound as transient copies.
    void bind(int index, const QString &text);
    void bind(int index, qint64 value);
    void bind(int index, double value);
    void bindNull(int index);
    void bind(int index, const std::optional<QString> &text);
    void bind(int index, const std::optional<qint64> &value);

    // True while a row is available.
    bool nextRow();
    // True when the statement ran to completion without an error.
    bool run();
    // Makes the statement ready to run again, with every parameter NULL.
    void reset();

    bool isNull(int column) const;
    qint64 integer(int column) const;
    double real(int column) const;
    std::optional<qint64> optionalInteger(int column) const;
    std::optional<QString> optionalText(int column) const;
    // The raw UTF-8 bytes of a text column, valid until the next step.
    QByteArrayView textView(int column) const;

private:
    sqlite3_stmt *m_statement = nullptr;
};
