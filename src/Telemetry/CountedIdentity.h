#pragma once

#include <QList>
#include <QtGlobal>

// A digest of what identifies a counted transcript line (its uuid) or response (message id and
// request id). Kept in the store beside the file positions, so that a line copied into another
// file (a fork, a resumed session) or re-read after a restart is not counted again.
struct CountedIdentity {
    enum class Kind { line = 0, response = 1 };
    Kind kind = Kind::line;
    quint64 digest = 0;

    bool operator==(const CountedIdentity &) const = default;
};

using CountedIdentities = QList<CountedIdentity>;
