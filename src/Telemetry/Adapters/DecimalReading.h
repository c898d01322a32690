#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <optional>

// Strict readers for numbers that arrive as text on the wire.
namespace DecimalReading {

// Optional sign, then one or more ASCII digits and nothing else; absent outside the 64-bit range.
std::optional<qint64> int64(QByteArrayView text);

// A decimal floating-point number filling the whole text (optional sign; no white space).
std::optional<double> real(QByteArrayView text);

} // namespace DecimalReading
