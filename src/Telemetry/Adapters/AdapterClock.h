#pragma once

#include <QDateTime>

#include <functional>

// "Now" for an adapter; tests pass a controllable one.
using AdapterClock = std::function<QDateTime()>;

inline AdapterClock systemClock()
{
    return [] { return QDateTime::currentDateTimeUtc(); };
}
