#pragma once

#include <QByteArrayView>
#include <QString>

#include <simdjson.h>

#include <optional>
#include <string_view>

// Reading single JSON values on the hot paths (transcript and rollout lines) with simdjson's
// on-demand parser; values are read as the QJsonValue-based readers (JsonInteger) read them.
namespace JsonLine {

namespace sj = simdjson::ondemand;

// The thread's parser over a padded copy of `text`; the document and every view into it stay
// valid until the next parse on this thread. Throws simdjson_error when it is not JSON.
sj::document parse(QByteArrayView text);

// A count: an integer, a fraction truncated toward zero, or a decimal string; 0 otherwise.
qint64 count(sj::value value);
// A string value; none for anything else.
std::optional<QString> string(sj::value value);

inline QString text(std::string_view view) { return QString::fromUtf8(view.data(), qsizetype(view.size())); }

} // namespace JsonLine
