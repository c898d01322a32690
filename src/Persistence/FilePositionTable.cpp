#include "Persistence/FilePositionTable.h"

#include "Persistence/SqliteStatement.h"

#include <sqlite3.h>

namespace FilePositionTable {

bool migrate(sqlite3 *db)
{
    return sqlite3_exec(db, R"sql(CREATE TABLE IF NOT EXISTS file_positions (
    path TEXT PRIMARY KEY,
    device INTEGER NOT NULL,
    inode INTEGER NOT NULL,
    size INTEGER NOT NULL,
    mtime_ns INTEGER NOT NULL,
    offset INTEGER NOT NULL,
    complete INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS counted_identities (
    kind INTEGER NOT NULL,
    digest INTEGER NOT NULL,
    PRIMARY KEY (kind, digest)
) WITHOUT ROWID;)sql", nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool upsert(sqlite3 *db, const FilePosition &position)
{
    SqliteStatement statement(db, "INSERT OR REPLACE INTO file_positions "
                                  "(path, device, inode, size, mtime_ns, offset, complete) VALUES (?,?,?,?,?,?,?)");
    statement.bind(1, position.path);
    // Device and inode numbers are unsigned; SQLite keeps their 64 bits as signed integers.
    statement.bind(2, qint64(position.identity.device));
    statement.bind(3, qint64(position.identity.inode));
    statement.bind(4, position.identity.size);
    statement.bind(5, position.identity.modifiedNs);
    statement.bind(6, position.offset);
    statement.bind(7, qint64(position.complete ? 1 : 0));
    return statement.run();
}

FilePositions all(sqlite3 *db)
{
    FilePositions positions;
    SqliteStatement statement(db, "SELECT path, device, inode, size, mtime_ns, offset, complete FROM file_positions");
    while (statement.nextRow()) {
        const auto path = statement.optionalText(0);
        if (!path)
            continue;
        const FileIdentity identity{quint64(statement.integer(1)), quint64(statement.integer(2)), statement.integer(3),
                                    statement.integer(4)};
        positions.insert(*path, FilePosition{*path, identity, statement.integer(5), statement.integer(6) != 0});
    }
    return positions;
}

bool insertCounted(sqlite3 *db, std::span<const CountedIdentity> counted, qint64 *added)
{
    if (counted.empty())
        return true;
    SqliteStatement statement(db, "INSERT OR IGNORE INTO counted_identities (kind, digest) VALUES (?,?)");
    for (const CountedIdentity &identity : counted) {
        statement.bind(1, qint64(identity.kind));
        statement.bind(2, qint64(identity.digest));
        if (!statement.run())
            return false;
        if (added)
            *added += sqlite3_changes(db);
        statement.reset();
    }
    return true;
}

CountedIdentities countedIdentities(sqlite3 *db, qsizetype limit)
{
    CountedIdentities identities;
    SqliteStatement statement(db, "SELECT kind, digest FROM counted_identities LIMIT ?");
    statement.bind(1, qint64(limit));
    while (statement.nextRow()) {
        const auto kind = statement.integer(0) == 1 ? CountedIdentity::Kind::response : CountedIdentity::Kind::line;
        identities.append({kind, quint64(statement.integer(1))});
    }
    return identities;
}

} // namespace FilePositionTable
