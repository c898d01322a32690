#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>
#include <vector>

// Where the members of a JSON object, or the elements of an array, sit in its text: the offsets
// a minimal edit needs, found by a real parser (simdjson), so the bytes around an edit stay as
// the user wrote them.
namespace JsonSpans {

struct Item {
    QString key;              // empty for an array element
    qsizetype start = 0;      // of the key (members) or of the value (elements)
    qsizetype valueStart = 0;
    qsizetype valueEnd = 0;   // one past the value's last byte
};

// The items of the object or array that `text` holds, offsets counted from the start of `text`;
// none when it is not an object or array simdjson can read. Callers decide validity first (Qt
// JSON); this only finds places.
std::optional<std::vector<Item>> items(QByteArrayView text);

// One past the white space from `at` on.
qsizetype skipSpace(QByteArrayView text, qsizetype at);

} // namespace JsonSpans
