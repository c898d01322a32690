#pragma once

#include <QString>

// The display formats every HUD view shares.
struct Format {
    // Plain up to 999, then "%.1fk" up to 999 999, then "%.2fM".
    static QString tokens(qint64 n);
    // "$%.3f" below 10, "$%.2f" from 10 on.
    static QString money(double dollars);
    // "%d:%02d" of whole seconds; negative counts as 0, minutes do not wrap.
    static QString clock(double seconds);
};
