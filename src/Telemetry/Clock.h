#pragma once

#include <QDateTime>

#include <functional>

// The source of "now"; injected so that midnight and day boundaries can be tested.
using Clock = std::function<QDateTime()>;

inline QDateTime systemNow() { return QDateTime::currentDateTimeUtc(); }
