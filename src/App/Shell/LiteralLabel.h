#pragma once

#include <QString>

// A text for a QPushButton, QAction or QMenu title, shown as written: a lone "&" there marks
// the next letter as the keyboard mnemonic and disappears ("Back Up & Write Config").
inline QString literalLabel(QString text) { return text.replace(QLatin1Char('&'), QStringLiteral("&&")); }
